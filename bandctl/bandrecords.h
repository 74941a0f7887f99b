// The band's records as results: real dates (the band stores day - 1,
// month - 1, year - 2000), named fields, numbers as numbers.
#pragma once

#include "result.h"

#include <bandlink.h>

#include "banddate.h"

#include <QString>

// 24-bit little-endian.
quint32 threeBytes(const quint8 bytes[3]);

// Each gives the record's fields; kind and kindKey name the result
// ("item"/"time" for get, "event"/"minstat" for watch).
Result describeVersion(const sb_version_t &version, const QString &kindKey = QStringLiteral("item"));
Result describeTime(const sb_time_t &time, const QString &kindKey = QStringLiteral("item"));
Result describeConf(const sb_conf_t &conf, const QString &kindKey = QStringLiteral("item"));
Result describeLed(const sb_led_t &led, const QString &kindKey = QStringLiteral("item"));
Result describeAlarms(const sb_alarm_t alarms[SB_ALARM_COUNT], const QString &kindKey = QStringLiteral("item"));
Result describeStat(const sb_stat_t &stat, const QString &kindKey = QStringLiteral("item"));
Result describeDayData(const sb_day_data_t &data, const QString &kindKey = QStringLiteral("item"));
Result describeDayStat(int day, const sb_day_stat_t &stat, const QString &kindKey = QStringLiteral("item"));
Result describeMinStat(const sb_min_stat_t &stat);
Result describeUpload(const quint8 *bytes, int length);

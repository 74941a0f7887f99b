#include "items.h"

#include "bandrecords.h"

#include <bandlink.h>

namespace {

template <typename Record, typename Read, typename Describe>
std::optional<Result> readRecord(Read read, Describe describe, const QString &kindKey)
{
    Record record{};
    if (!read(&record))
        return std::nullopt;
    return describe(record, kindKey);
}

} // namespace

QStringList readableItems()
{
    return {QStringLiteral("version"), QStringLiteral("time"), QStringLiteral("conf"), QStringLiteral("led"),
            QStringLiteral("alarm"), QStringLiteral("stat"), QStringLiteral("daydata"), QStringLiteral("daystat")};
}

bool isReadableItem(const QString &name)
{
    return readableItems().contains(name);
}

std::optional<Result> readItem(const QString &name, int day, const QString &kindKey)
{
    if (name == QLatin1StringView("version"))
        return readRecord<sb_version_t>(sb_getVersion, describeVersion, kindKey);
    if (name == QLatin1StringView("time"))
        return readRecord<sb_time_t>(sb_getTime, describeTime, kindKey);
    if (name == QLatin1StringView("conf"))
        return readRecord<sb_conf_t>(sb_getSBConf, describeConf, kindKey);
    if (name == QLatin1StringView("led"))
        return readRecord<sb_led_t>(sb_getLed, describeLed, kindKey);
    if (name == QLatin1StringView("stat"))
        return readRecord<sb_stat_t>(sb_getSBStat, describeStat, kindKey);
    if (name == QLatin1StringView("daydata"))
        return readRecord<sb_day_data_t>(sb_getSBDayData, describeDayData, kindKey);
    if (name == QLatin1StringView("alarm")) {
        sb_alarm_t alarms[SB_ALARM_COUNT]{};
        if (!sb_getAlarmClock(alarms))
            return std::nullopt;
        return describeAlarms(alarms, kindKey);
    }
    if (name == QLatin1StringView("daystat")) {
        sb_day_stat_t stat{};
        if (!sb_getDayStat(quint8(day), &stat))
            return std::nullopt;
        return describeDayStat(day, stat, kindKey);
    }
    return std::nullopt;
}

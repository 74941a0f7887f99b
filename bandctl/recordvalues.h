// Values for `set`, checked against the record's field ranges before
// anything goes to the band: "name=value" words, dates as real dates.
#pragma once

#include <bandlink.h>

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

struct FieldSpec {
    // Number: decimal; Bits: decimal or 0x hexadecimal (a mode's bits).
    enum class Kind { Number, Bits, OnOff, Sex };
    const char *name;
    Kind kind;
    long long min;
    long long max;
};

// Every word must be NAME=VALUE with a known name, given once, and a value
// within its field's range. nullopt with *error set otherwise.
std::optional<QMap<QString, long long>> parseAssignments(const QStringList &words, const QList<FieldSpec> &fields,
                                                         QString *error);

// The band's clock record for a local date and time; nullopt outside the
// years the band can hold (2000 to 2255).
std::optional<sb_time_t> bandTimeOf(const QDateTime &when);
// "YYYY-MM-DD HH:MM:SS" as two words (or one, quoted with its blank).
std::optional<sb_time_t> parseBandTime(const QStringList &words, QString *error);

const QList<FieldSpec> &confFields();
const QList<FieldSpec> &ledFields();
const QList<FieldSpec> &alarmFields();

void applyConf(const QMap<QString, long long> &values, sb_conf_t *conf);
void applyLed(const QMap<QString, long long> &values, sb_led_t *led);
void applyAlarm(const QMap<QString, long long> &values, sb_alarm_t *alarm);

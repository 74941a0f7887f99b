#include "conffields.h"

QJsonObject confFields(const sb_conf_t &conf)
{
    // Copied out first: the record is packed, and a reference to its
    // two-byte goal would be misaligned.
    return {{QStringLiteral("weight"), int(conf.weight)},
            {QStringLiteral("height"), int(conf.height)},
            {QStringLiteral("sex"), conf.sex ? QStringLiteral("female") : QStringLiteral("male")},
            {QStringLiteral("age"), int(conf.age)},
            {QStringLiteral("goal"), int(conf.goal)}};
}

const QStringList &confFieldNames()
{
    static const QStringList names = {QStringLiteral("weight"), QStringLiteral("height"), QStringLiteral("sex"),
                                      QStringLiteral("age"), QStringLiteral("goal")};
    return names;
}

QJsonObject ledFields(const sb_led_t &led)
{
    return {{QStringLiteral("led0"), led.enabled[0] != 0}, {QStringLiteral("led1"), led.enabled[1] != 0}};
}

QJsonArray alarmEntries(const sb_alarm_t *alarms, int count)
{
    QJsonArray entries;
    for (int i = 0; i < count; ++i)
        entries.append(QJsonObject{{QStringLiteral("entry"), i},
                                   {QStringLiteral("hour"), int(alarms[i].hour)},
                                   {QStringLiteral("minute"), int(alarms[i].minute)},
                                   {QStringLiteral("mode"), int(alarms[i].mode)}});
    return entries;
}

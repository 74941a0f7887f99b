#include "bandrecords.h"

#include "conffields.h"

#include <QStringList>

static QString clockTime(int hour, int minute)
{
    return QStringLiteral("%1:%2").arg(hour, 2, 10, QLatin1Char('0')).arg(minute, 2, 10, QLatin1Char('0'));
}

quint32 threeBytes(const quint8 bytes[3])
{
    return quint32(bytes[0]) | quint32(bytes[1]) << 8 | quint32(bytes[2]) << 16;
}

static QString hexBytes(const quint8 *bytes, int count, QChar separator)
{
    QStringList parts;
    for (int i = 0; i < count; ++i)
        parts.append(QStringLiteral("%1").arg(bytes[i], 2, 16, QLatin1Char('0')));
    return parts.join(separator);
}

// JSON numbers hold 32-bit counters exactly.
static Result &addCount(Result &result, const QString &key, quint32 value)
{
    return result.add(key, QJsonValue(double(value)), QString::number(value));
}

Result describeVersion(const sb_version_t &version, const QString &kindKey)
{
    Result result(kindKey, QStringLiteral("version"));
    result.add(QStringLiteral("version"), QStringLiteral("%1.%2.%3.%4")
                                               .arg(version.version[0]).arg(version.version[1])
                                               .arg(version.version[2]).arg(version.version[3]));
    result.add(QStringLiteral("bluetooth"), hexBytes(version.bdaddr, 6, u':'));
    return result;
}

Result describeTime(const sb_time_t &time, const QString &kindKey)
{
    Result result(kindKey, QStringLiteral("time"));
    result.add(QStringLiteral("time"), bandDateTime(time));
    return result;
}

Result describeConf(const sb_conf_t &conf, const QString &kindKey)
{
    Result result(kindKey, QStringLiteral("conf"));
    const QJsonObject fields = confFields(conf);
    for (const QString &name : confFieldNames())
        result.add(name, fields.value(name), fields.value(name).toVariant().toString());
    return result;
}

Result describeLed(const sb_led_t &led, const QString &kindKey)
{
    Result result(kindKey, QStringLiteral("led"));
    const QJsonObject fields = ledFields(led);
    for (auto field = fields.begin(); field != fields.end(); ++field) // led0, led1
        result.add(field.key(), field.value(), field.value().toBool() ? QStringLiteral("on") : QStringLiteral("off"));
    return result;
}

Result describeAlarms(const sb_alarm_t alarms[SB_ALARM_COUNT], const QString &kindKey)
{
    Result result(kindKey, QStringLiteral("alarm"));
    QString text;
    for (int i = 0; i < SB_ALARM_COUNT; ++i)
        text += QStringLiteral("\n  %1  %2  mode 0x%3").arg(i).arg(clockTime(alarms[i].hour, alarms[i].minute))
                    .arg(alarms[i].mode, 2, 16, QLatin1Char('0'));
    result.add(QStringLiteral("alarms"), QJsonValue(alarmEntries(alarms, SB_ALARM_COUNT)), text);
    return result;
}

Result describeStat(const sb_stat_t &stat, const QString &kindKey)
{
    Result result(kindKey, QStringLiteral("stat"));
    result.add(QStringLiteral("date"), bandDate(stat.day, stat.month, stat.year));
    result.add(QStringLiteral("time"), clockTime(stat.hour, stat.minute));
    result.add(QStringLiteral("steps"), int(stat.steps));
    result.add(QStringLiteral("distance"), int(stat.distance));
    result.add(QStringLiteral("calorie"), int(stat.calorie));
    return result;
}

Result describeDayData(const sb_day_data_t &data, const QString &kindKey)
{
    Result result(kindKey, QStringLiteral("daydata"));
    result.add(QStringLiteral("date"), bandDate(data.day, data.month, data.year));
    addCount(result, QStringLiteral("steps"), data.steps);
    addCount(result, QStringLiteral("distance"), data.distance);
    addCount(result, QStringLiteral("calorie"), data.calorie);
    return result;
}

Result describeDayStat(int day, const sb_day_stat_t &stat, const QString &kindKey)
{
    Result result(kindKey, QStringLiteral("daystat"));
    result.add(QStringLiteral("day"), day);
    result.add(QStringLiteral("valid"), stat.flag == SB_DAY_STAT_VALID);
    result.add(QStringLiteral("date"), bandDate(stat.day, stat.month, stat.year));
    addCount(result, QStringLiteral("steps"), threeBytes(stat.steps));
    addCount(result, QStringLiteral("distance"), threeBytes(stat.distance));
    result.add(QStringLiteral("calorie"), int(stat.calorie));
    result.add(QStringLiteral("count"), int(stat.count));
    return result;
}

Result describeMinStat(const sb_min_stat_t &stat)
{
    Result result(QStringLiteral("event"), QStringLiteral("minstat"));
    result.add(QStringLiteral("date"), bandDate(stat.day, stat.month, stat.year));
    result.add(QStringLiteral("time"), clockTime(stat.hour, stat.minute));
    result.add(QStringLiteral("steps"), int(stat.steps));
    result.add(QStringLiteral("distance"), int(stat.distance));
    result.add(QStringLiteral("calorie"), int(stat.calorie));
    result.add(QStringLiteral("temperature"), QJsonValue(stat.temperature / 10.0),
               QString::number(stat.temperature / 10.0, 'f', 1));
    result.add(QStringLiteral("pressure"), int(stat.pressure));
    return result;
}

Result describeUpload(const quint8 *bytes, int length)
{
    Result result(QStringLiteral("event"), QStringLiteral("upload"));
    result.add(QStringLiteral("length"), length);
    result.add(QStringLiteral("bytes"), hexBytes(bytes, length, u' '));
    return result;
}

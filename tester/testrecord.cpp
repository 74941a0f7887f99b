#include "testrecord.h"

#include "banddate.h"

#include <bandsim/virtualband.h>

#include <QJsonArray>
#include <QJsonObject>

namespace {

QString bytesText(const quint8 *bytes, int count, QChar separator)
{
    QStringList parts;
    for (int i = 0; i < count; ++i)
        parts << QStringLiteral("%1").arg(bytes[i], 2, 16, QLatin1Char('0'));
    return parts.join(separator);
}

QJsonObject confObject(const sb_conf_t &c)
{
    return {{QStringLiteral("weight"), c.weight}, {QStringLiteral("height"), c.height},
            {QStringLiteral("sex"), c.sex}, {QStringLiteral("age"), c.age}, {QStringLiteral("goal"), c.goal}};
}

QJsonObject ledObject(const sb_led_t &led)
{
    return {{QStringLiteral("led0"), led.enabled[0]}, {QStringLiteral("led1"), led.enabled[1]}};
}

QJsonArray alarmsArray(const AlarmTable &alarms)
{
    QJsonArray entries;
    for (size_t i = 0; i < alarms.size(); ++i)
        entries.append(QJsonObject{{QStringLiteral("entry"), int(i)}, {QStringLiteral("hour"), alarms[i].hour},
                                   {QStringLiteral("minute"), alarms[i].minute}, {QStringLiteral("mode"), alarms[i].mode}});
    return entries;
}

} // namespace

void fillTestRecord(RunRecord &record, const TestResult &r)
{
    if (r.started.isValid())
        record.startedAt = r.started.toUTC();
    record.finish(runOutcomeOf(r.outcome), r.failedStep, r.passed() ? -1 : r.failedRow);
    if (r.finished.isValid())
        record.endedAt = r.finished.toUTC();

    QJsonObject d;
    if (r.reached(TestSequence::RowGetVersion)) {
        const sb_version_t &v = r.version;
        d.insert(QStringLiteral("version"),
                 QStringLiteral("%1.%2.%3.%4").arg(v.version[0]).arg(v.version[1]).arg(v.version[2]).arg(v.version[3]));
        record.unit = bytesText(v.bdaddr, 6, QLatin1Char(':'));
        d.insert(QStringLiteral("bluetooth"), record.unit);
    }
    if (r.reached(TestSequence::RowSetTime))
        d.insert(QStringLiteral("clock_sent"), bandDateTime(r.sentTime));
    if (r.reached(TestSequence::RowGetTime))
        d.insert(QStringLiteral("clock_read"), bandDateTime(r.readTime));
    if (r.reached(TestSequence::RowSetLed))
        d.insert(QStringLiteral("led_sent"), ledObject(r.sentLed));
    if (r.readLedValid)
        d.insert(QStringLiteral("led_read"), ledObject(r.readLed));
    if (r.reached(TestSequence::RowSetConf))
        d.insert(QStringLiteral("settings_sent"), confObject(r.sentConf));
    if (r.readConfValid)
        d.insert(QStringLiteral("settings_read"), confObject(r.readConf));
    if (r.reached(TestSequence::RowSetAlarms))
        d.insert(QStringLiteral("alarms_sent"), alarmsArray(r.sentAlarms));
    if (r.readAlarmsValid)
        d.insert(QStringLiteral("alarms_read"), alarmsArray(r.readAlarms));
    if (!r.differences.isEmpty())
        d.insert(QStringLiteral("differences"), differencesJson(r.differences));
    record.details = d;
    record.simulated = bandsim::VirtualBand::anyInProcess();
}

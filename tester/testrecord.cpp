#include "testrecord.h"

#include "banddate.h"
#include "conffields.h"

#include <bandsim/virtualband.h>

#include <QJsonObject>

namespace {

QString bytesText(const quint8 *bytes, int count, QChar separator)
{
    QStringList parts;
    for (int i = 0; i < count; ++i)
        parts << QStringLiteral("%1").arg(bytes[i], 2, 16, QLatin1Char('0'));
    return parts.join(separator);
}

} // namespace

QJsonObject testDetails(const TestResult &r)
{
    const auto when = [&r](int row, const QJsonValue &value) { return r.reached(row) ? value : QJsonValue(); };
    const sb_version_t &v = r.version;
    return {
        {QStringLiteral("version"),
         when(TestSequence::RowGetVersion, QStringLiteral("%1.%2.%3.%4").arg(v.version[0]).arg(v.version[1])
                                               .arg(v.version[2]).arg(v.version[3]))},
        {QStringLiteral("bluetooth"), when(TestSequence::RowGetVersion, bytesText(v.bdaddr, 6, QLatin1Char(':')))},
        {QStringLiteral("time_sent"), when(TestSequence::RowSetTime, bandDateTime(r.sentTime))},
        {QStringLiteral("time_read"), when(TestSequence::RowGetTime, bandDateTime(r.readTime))},
        {QStringLiteral("conf_sent"), when(TestSequence::RowSetConf, confFields(r.sentConf))},
        {QStringLiteral("conf_read"), r.readConfValid ? QJsonValue(confFields(r.readConf)) : QJsonValue()},
        {QStringLiteral("led_sent"), when(TestSequence::RowSetLed, ledFields(r.sentLed))},
        {QStringLiteral("led_read"), r.readLedValid ? QJsonValue(ledFields(r.readLed)) : QJsonValue()},
        {QStringLiteral("alarms_sent"), when(TestSequence::RowSetAlarms, alarmEntries(r.sentAlarms.data(), SB_ALARM_COUNT))},
        {QStringLiteral("alarms_read"),
         r.readAlarmsValid ? QJsonValue(alarmEntries(r.readAlarms.data(), SB_ALARM_COUNT)) : QJsonValue()},
        // Why the run could not talk to the band, when the band is not to blame.
        {QStringLiteral("error"), r.error.isEmpty() ? QJsonValue() : QJsonValue(r.error)},
        // What a read-back found the band had not kept; null when nothing differed.
        {QStringLiteral("differences"),
         r.differences.isEmpty() ? QJsonValue() : QJsonValue(differencesJson(r.differences))},
    };
}

void fillTestRecord(RunRecord &record, const TestResult &r, const QString &defSha256)
{
    record.defSha256 = defSha256;
    if (r.started.isValid())
        record.startedAt = r.started.toUTC();
    record.finish(runOutcomeOf(r.outcome), r.failedStep, r.passed() ? -1 : r.failedRow);
    if (r.finished.isValid())
        record.endedAt = r.finished.toUTC();
    record.details = testDetails(r);
    record.unit = record.details.value(QStringLiteral("bluetooth")).toString();
    record.simulated = bandsim::VirtualBand::anyInProcess();
}

StationIdentity testerIdentity(const QString &defSha256)
{
    return {QStringLiteral("tester"), StationIdentity::thisVersion(), defSha256, QString()};
}

#include "testreport.h"

#include "bandrecords.h"
#include "testsequence.h"

Result describeTestRun(const TestResult &run, const QString &device)
{
    Result result(QStringLiteral("command"), QStringLiteral("test"));
    result.add(QStringLiteral("device"), device);
    result.add(QStringLiteral("outcome"), TestSequence::outcomeName(run.outcome));
    if (!run.passed()) {
        result.add(QStringLiteral("failed_step"), run.failedStep);
        result.addJsonOnly(QStringLiteral("failed_row"), run.failedRow);
    }
    if (run.reached(TestSequence::RowGetVersion)) {
        const sb_version_t &v = run.version;
        result.add(QStringLiteral("version"),
                   QStringLiteral("%1.%2.%3.%4").arg(v.version[0]).arg(v.version[1]).arg(v.version[2]).arg(v.version[3]));
    }
    if (run.reached(TestSequence::RowSetTime))
        result.add(QStringLiteral("time_sent"), bandDateTime(run.sentTime));
    if (run.reached(TestSequence::RowGetTime))
        result.add(QStringLiteral("time_read"), bandDateTime(run.readTime));
    if (run.reached(TestSequence::RowSetLed))
        result.add(QStringLiteral("led_sent"), describeLed(run.sentLed));
    if (run.readLedValid)
        result.add(QStringLiteral("led_read"), describeLed(run.readLed));
    if (run.reached(TestSequence::RowSetConf))
        result.add(QStringLiteral("conf_sent"), describeConf(run.sentConf, QStringLiteral("item")));
    if (run.readConfValid)
        result.add(QStringLiteral("conf_read"), describeConf(run.readConf, QStringLiteral("item")));
    if (run.reached(TestSequence::RowSetAlarms))
        result.add(QStringLiteral("alarms_sent"), describeAlarms(run.sentAlarms.data()));
    if (run.readAlarmsValid)
        result.add(QStringLiteral("alarms_read"), describeAlarms(run.readAlarms.data()));
    if (!run.differences.isEmpty())
        result.add(QStringLiteral("differences"), differencesJson(run.differences),
                   describeDifferences(run.differences));
    const double seconds = run.started.msecsTo(run.finished) / 1000.0;
    result.add(QStringLiteral("seconds"), QJsonValue(seconds), QString::number(seconds, 'f', 3));
    return result;
}

#include "testreport.h"

#include "bandrecords.h"
#include "testrecord.h"
#include "testsequence.h"

namespace {

QJsonValue orNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

} // namespace

Result describeTestRun(const TestResult &run, const QString &device, const QString &usbPath)
{
    Result result(QStringLiteral("command"), QStringLiteral("test"));
    result.add(QStringLiteral("device"), device);
    result.add(QStringLiteral("usb_path"), orNull(usbPath), usbPath.isEmpty() ? QStringLiteral("unknown") : usbPath);
    result.add(QStringLiteral("outcome"), TestSequence::outcomeName(run.outcome));

    // The JSON is the record's own vocabulary.
    const QJsonObject details = testDetails(run);
    for (auto field = details.begin(); field != details.end(); ++field)
        result.addJsonOnly(field.key(), field.value());
    result.addJsonOnly(QStringLiteral("failed_step"), run.passed() ? QJsonValue() : QJsonValue(run.failedStep));
    result.addJsonOnly(QStringLiteral("failed_row"), run.passed() ? QJsonValue() : QJsonValue(run.failedRow));
    const qint64 durationMs = run.started.msecsTo(run.finished);
    result.addJsonOnly(QStringLiteral("duration_ms"), QJsonValue(durationMs));

    // For people: what the run got to, in the order it happened.
    if (!run.passed())
        result.addTextOnly(QStringLiteral("failed_step"), run.failedStep);
    if (!run.error.isEmpty())
        result.addTextOnly(QStringLiteral("error"), run.error);
    for (const char *key : {"version", "bluetooth", "time_sent", "time_read"}) {
        const QJsonValue value = details.value(QLatin1String(key));
        if (value.isString())
            result.addTextOnly(QLatin1String(key), value.toString());
    }
    if (run.reached(TestSequence::RowSetLed))
        result.addTextOnly(QStringLiteral("led_sent"), describeLed(run.sentLed));
    if (run.readLedValid)
        result.addTextOnly(QStringLiteral("led_read"), describeLed(run.readLed));
    if (run.reached(TestSequence::RowSetConf))
        result.addTextOnly(QStringLiteral("conf_sent"), describeConf(run.sentConf));
    if (run.readConfValid)
        result.addTextOnly(QStringLiteral("conf_read"), describeConf(run.readConf));
    if (run.reached(TestSequence::RowSetAlarms))
        result.addTextOnly(QStringLiteral("alarms_sent"), describeAlarms(run.sentAlarms.data()));
    if (run.readAlarmsValid)
        result.addTextOnly(QStringLiteral("alarms_read"), describeAlarms(run.readAlarms.data()));
    if (!run.differences.isEmpty())
        result.addTextOnly(QStringLiteral("differences"), describeDifferences(run.differences));
    result.addTextOnly(QStringLiteral("duration_ms"), QString::number(durationMs));
    return result;
}

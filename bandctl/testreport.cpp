#include "testreport.h"

#include "bandrecords.h"
#include "devicecheck.h"
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
    result.addJsonOnly(QStringLiteral("failed_step"), orNull(run.failedStep));
    result.addJsonOnly(QStringLiteral("failed_row"), run.passed() ? QJsonValue() : QJsonValue(run.failedRow));
    if (!run.passed())
        result.add(QStringLiteral("failed_step"), run.failedStep);
    // Why the port would not open, when it is still there to ask.
    QString error = run.error;
    if (error.isEmpty() && run.failedRow == TestSequence::RowOpenPort && deviceExists(device))
        error = whyNotOpened(device).message;
    if (!error.isEmpty())
        result.add(QStringLiteral("error"), error);

    const QJsonObject details = testDetails(run);
    // For people: what the run got to, in the order it happened.
    for (const char *key : {"version", "bluetooth", "time_sent", "time_read"}) {
        const QJsonValue value = details.value(QLatin1String(key));
        if (value.isString())
            result.add(QLatin1String(key), value, value.toString());
    }
    if (run.reached(TestSequence::RowSetLed))
        result.add(QStringLiteral("led_sent"), describeLed(run.sentLed));
    if (run.readLedValid)
        result.add(QStringLiteral("led_read"), describeLed(run.readLed));
    if (run.reached(TestSequence::RowSetConf))
        result.add(QStringLiteral("conf_sent"), describeConf(run.sentConf));
    if (run.readConfValid)
        result.add(QStringLiteral("conf_read"), describeConf(run.readConf));
    if (run.reached(TestSequence::RowSetAlarms))
        result.add(QStringLiteral("alarms_sent"), describeAlarms(run.sentAlarms.data()));
    if (run.readAlarmsValid)
        result.add(QStringLiteral("alarms_read"), describeAlarms(run.readAlarms.data()));
    if (!run.differences.isEmpty())
        result.add(QStringLiteral("differences"), differencesJson(run.differences),
                   describeDifferences(run.differences));
    // The JSON is the record's own vocabulary; the lines above are for people.
    for (auto field = details.begin(); field != details.end(); ++field)
        result.addJsonOnly(field.key(), field.value());
    result.addJsonOnly(QStringLiteral("error"), orNull(error));
    const qint64 durationMs = run.started.msecsTo(run.finished);
    result.add(QStringLiteral("duration_ms"), QJsonValue(durationMs), QString::number(durationMs));
    return result;
}

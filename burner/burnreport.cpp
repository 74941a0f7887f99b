#include "burnreport.h"

#include <QJsonValue>

QString BurnReport::stepLabel(int step)
{
    static const char *const labels[kStepCount] = {"CSD", "CSC", "CSB", "CDD", "ROB",
                                                   "ROC", "CNC", "CNB", "RST"};
    return step >= 0 && step < kStepCount ? QLatin1String(labels[step]) : QString();
}

QString BurnReport::outcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Pass: return QStringLiteral("pass");
    case Outcome::Fail: return QStringLiteral("fail");
    case Outcome::Interrupted: return QStringLiteral("interrupted");
    }
    return QString();
}

QString BurnReport::stageName(Stage stage)
{
    switch (stage) {
    case Stage::Upgrade: return QStringLiteral("upgrade");
    case Stage::DiskWait: return QStringLiteral("disk");
    case Stage::Burn: return QStringLiteral("burn");
    case Stage::PortWait: return QStringLiteral("port");
    case Stage::Done: return QStringLiteral("done");
    }
    return QString();
}

QString BurnReport::stepResultName(StepResult result)
{
    switch (result) {
    case StepResult::NotRun: return QStringLiteral("not run");
    case StepResult::Passed: return QStringLiteral("passed");
    case StepResult::Failed: return QStringLiteral("failed");
    }
    return QString();
}

QJsonObject BurnReport::toJson() const
{
    QJsonObject stepResults;
    for (int step = 0; step < kStepCount; ++step)
        stepResults.insert(stepLabel(step), stepResultName(steps[size_t(step)]));
    auto orNull = [](const QString &text) { return text.isEmpty() ? QJsonValue() : QJsonValue(text); };
    auto file = [&orNull](const QString &name, qint64 bytes, const QString &sha256, const QString &readBack) {
        return QJsonObject{{QStringLiteral("name"), name},
                           {QStringLiteral("bytes"), bytes < 0 ? QJsonValue() : QJsonValue(bytes)},
                           {QStringLiteral("sha256"), orNull(sha256)},
                           {QStringLiteral("sha256_read_back"), orNull(readBack)}};
    };
    return QJsonObject{
        {QStringLiteral("outcome"), outcomeName(outcome)},
        {QStringLiteral("stage"), stageName(stage)},
        {QStringLiteral("failed_step"), failedStep < 0 ? QJsonValue() : QJsonValue(stepLabel(failedStep))},
        {QStringLiteral("steps"), stepResults},
        {QStringLiteral("error"), orNull(error)},
        {QStringLiteral("source"), sourceFolder},
        {QStringLiteral("cfg"), file(files.cfgName, cfgBytes, cfgSha256, cfgReadBackSha256)},
        {QStringLiteral("bin"), file(files.binName, binBytes, binSha256, binReadBackSha256)},
        {QStringLiteral("disk"), orNull(diskRoot)},
        {QStringLiteral("version"), orNull(version)},
        {QStringLiteral("bluetooth"), orNull(bluetooth)},
        {QStringLiteral("duration_ms"), elapsedMs},
    };
}

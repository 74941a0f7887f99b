#include "runrecord.h"

#include "loginname.h"

QString outcomeName(RunOutcome outcome)
{
    switch (outcome) {
    case RunOutcome::Pass: return QStringLiteral("pass");
    case RunOutcome::Fail: return QStringLiteral("fail");
    case RunOutcome::Interrupted: break;
    }
    return QStringLiteral("interrupted");
}

bool outcomeFromName(const QString &name, RunOutcome *outcome)
{
    for (RunOutcome o : {RunOutcome::Pass, RunOutcome::Fail, RunOutcome::Interrupted}) {
        if (outcomeName(o) == name) {
            *outcome = o;
            return true;
        }
    }
    return false;
}

QString isoUtc(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

RunRecord RunRecord::begin(const QString &program, const QString &station)
{
    RunRecord r;
    r.id = QUuid::createUuid();
    r.program = program;
    r.station = station;
    r.operatorLogin = loginName();
    r.startedAt = QDateTime::currentDateTimeUtc();
    r.endedAt = r.startedAt;
    return r;
}

void RunRecord::finish(RunOutcome result, const QString &step, int row)
{
    endedAt = QDateTime::currentDateTimeUtc();
    outcome = result;
    failedStep = step;
    failedRow = row;
}

qint64 RunRecord::durationMs() const
{
    return startedAt.msecsTo(endedAt);
}

QString RunRecord::day() const
{
    return startedAt.toUTC().date().toString(Qt::ISODate);
}

QJsonObject RunRecord::toJson() const
{
    QJsonObject o;
    o.insert(QStringLiteral("id"), id.toString(QUuid::WithoutBraces));
    o.insert(QStringLiteral("program"), program);
    o.insert(QStringLiteral("station"), station);
    o.insert(QStringLiteral("operator"), operatorLogin);
    o.insert(QStringLiteral("started_at"), isoUtc(startedAt));
    o.insert(QStringLiteral("ended_at"), isoUtc(endedAt));
    o.insert(QStringLiteral("duration_ms"), durationMs());
    o.insert(QStringLiteral("outcome"), outcomeName(outcome));
    o.insert(QStringLiteral("failed_step"), failedStep.isEmpty() ? QJsonValue() : QJsonValue(failedStep));
    o.insert(QStringLiteral("failed_row"), failedRow < 0 ? QJsonValue() : QJsonValue(failedRow));
    o.insert(QStringLiteral("unit"), unit.isEmpty() ? QJsonValue() : QJsonValue(unit));
    o.insert(QStringLiteral("first_try"), firstTry);
    o.insert(QStringLiteral("details"), details);
    return o;
}

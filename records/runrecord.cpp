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
    o.insert(QStringLiteral("simulated"), simulated);
    o.insert(QStringLiteral("usb_path"), usbPath.isEmpty() ? QJsonValue() : QJsonValue(usbPath));
    const auto textOrNull = [](const QString &s) { return s.isEmpty() ? QJsonValue() : QJsonValue(s); };
    o.insert(QStringLiteral("def_sha256"), textOrNull(defSha256));
    o.insert(QStringLiteral("image_sha256"), textOrNull(imageSha256));
    o.insert(QStringLiteral("image_version"), textOrNull(imageVersion));
    return o;
}

bool RunRecord::fromJson(const QJsonObject &json, RunRecord *record)
{
    RunRecord r;
    r.id = QUuid::fromString(json.value(QStringLiteral("id")).toString());
    r.program = json.value(QStringLiteral("program")).toString();
    r.station = json.value(QStringLiteral("station")).toString();
    r.operatorLogin = json.value(QStringLiteral("operator")).toString();
    r.startedAt = QDateTime::fromString(json.value(QStringLiteral("started_at")).toString(), Qt::ISODateWithMs);
    r.endedAt = QDateTime::fromString(json.value(QStringLiteral("ended_at")).toString(), Qt::ISODateWithMs);
    r.failedStep = json.value(QStringLiteral("failed_step")).toString();
    r.failedRow = json.value(QStringLiteral("failed_row")).toInt(-1);
    r.unit = json.value(QStringLiteral("unit")).toString();
    r.firstTry = json.value(QStringLiteral("first_try")).toBool(true);
    r.details = json.value(QStringLiteral("details")).toObject();
    r.simulated = json.value(QStringLiteral("simulated")).toBool(false);
    r.usbPath = json.value(QStringLiteral("usb_path")).toString();
    r.defSha256 = json.value(QStringLiteral("def_sha256")).toString();
    r.imageSha256 = json.value(QStringLiteral("image_sha256")).toString();
    r.imageVersion = json.value(QStringLiteral("image_version")).toString();
    if (r.id.isNull() || r.program.isEmpty() || !r.startedAt.isValid() || !r.endedAt.isValid()
        || !outcomeFromName(json.value(QStringLiteral("outcome")).toString(), &r.outcome))
        return false;
    *record = r;
    return true;
}

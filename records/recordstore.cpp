#include "recordstore.h"

#include "connections.h"
#include "recordforwarder.h"
#include "schema.h"
#include "sqlerrors.h"

#include <QJsonDocument>
#include <QSqlError>
#include <QSqlQuery>
#include <QtDebug>

namespace {

// Whether this band already ran here today for this program: only its first
// run counts towards first-pass yield.
bool seenToday(QSqlDatabase &db, const RunRecord &r, bool *seen, QSqlError *error)
{
    if (r.unit.isEmpty()) {
        *seen = false;
        return true;
    }
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT 1 FROM runs WHERE unit = ? AND station = ? AND program = ? AND day = ? LIMIT 1"));
    q.addBindValue(r.unit);
    q.addBindValue(r.station);
    q.addBindValue(r.program);
    q.addBindValue(r.day());
    if (!q.exec()) {
        *error = q.lastError();
        return false;
    }
    *seen = q.next();
    return true;
}

QVariant textOrNull(const QString &s)
{
    return s.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(s);
}

bool insertRun(QSqlDatabase &db, const RunRecord &r, bool queueForServer, QSqlError *error)
{
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO runs (%1) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?)")
                  .arg(QLatin1String(kRunColumns)));
    q.addBindValue(r.id.toString(QUuid::WithoutBraces));
    q.addBindValue(r.program);
    q.addBindValue(r.station);
    q.addBindValue(r.operatorLogin);
    q.addBindValue(isoUtc(r.startedAt));
    q.addBindValue(isoUtc(r.endedAt));
    q.addBindValue(r.day());
    q.addBindValue(r.durationMs());
    q.addBindValue(outcomeName(r.outcome));
    q.addBindValue(textOrNull(r.failedStep));
    q.addBindValue(r.failedRow < 0 ? QVariant(QMetaType::fromType<int>()) : QVariant(r.failedRow));
    q.addBindValue(textOrNull(r.unit));
    q.addBindValue(r.firstTry ? 1 : 0);
    q.addBindValue(QString::fromUtf8(QJsonDocument(r.details).toJson(QJsonDocument::Compact)));
    if (!q.exec()) {
        *error = q.lastError();
        return false;
    }
    if (!queueForServer)
        return true;
    QSqlQuery queue(db);
    if (!queue.exec(QStringLiteral("INSERT INTO outbox (seq) VALUES (last_insert_rowid())"))) {
        *error = queue.lastError();
        return false;
    }
    return true;
}

} // namespace

RecordStore::RecordStore(const QString &folder, int forwardIntervalMs, QObject *parent)
    : QObject(parent), folder(folder), station(StationSettings::read(folder)),
      connectionName(uniqueConnectionName(QStringLiteral("store")))
{
    if (!station.problem.isEmpty())
        qWarning("%s", qPrintable(station.problem));
    if (station.hasServer()) {
        forwarder = new RecordForwarder(folder, station.serverUrl, forwardIntervalMs, this);
        connect(forwarder, &RecordForwarder::problemChanged, this, &RecordStore::serverProblemChanged);
        forwarder->start();
    }
}

RecordStore::~RecordStore()
{
    if (forwarder)
        forwarder->stop();
    closeConnection(connectionName);
    // Last resort for records no file would take: the debug output keeps them.
    for (const RunRecord &r : std::as_const(held))
        qWarning("Record not kept: %s", QJsonDocument(r.toJson()).toJson(QJsonDocument::Compact).constData());
}

RunRecord RecordStore::begin(const QString &program) const
{
    return RunRecord::begin(program, station.name);
}

bool RecordStore::write(RunRecord &record)
{
    held.append(record);
    const bool ok = writeHeld(&record.firstTry);
    if (ok && forwarder)
        forwarder->wake();
    return ok;
}

bool RecordStore::writeHeld(bool *lastFirstTry)
{
    QString error;
    QSqlDatabase db = reuseConnection(connectionName);
    if (!db.isOpen()) {
        db = openLocalDatabase(connectionName, folder, false, &error);
        if (!db.isOpen()) {
            holdBecause(error);
            return false;
        }
    }
    // IMMEDIATE: take the write lock first. A transaction that read first
    // would fail at once, without waiting, if another connection wrote
    // in between.
    QSqlQuery control(db);
    QSqlError sqlError;
    bool ok = control.exec(QStringLiteral("BEGIN IMMEDIATE"));
    if (!ok)
        sqlError = control.lastError();
    for (RunRecord &r : held) {
        bool seen = false;
        if (ok && !seenToday(db, r, &seen, &sqlError))
            ok = false;
        r.firstTry = !seen;
        if (ok)
            ok = insertRun(db, r, station.hasServer(), &sqlError);
        if (!ok)
            break;
    }
    if (ok && !control.exec(QStringLiteral("COMMIT"))) {
        ok = false;
        sqlError = control.lastError();
    }
    if (!ok) {
        control.exec(QStringLiteral("ROLLBACK"));
        control.finish();
        // Reopen next time: the file may have been repaired or replaced.
        db.close();
        holdBecause(describeSqlError(db, sqlError));
        return false;
    }
    *lastFirstTry = held.constLast().firstTry;
    held.clear();
    setProblem(QString());
    return true;
}

void RecordStore::holdBecause(const QString &reason)
{
    setProblem(QStringLiteral("%1; %2 record(s) held in memory until it can be written").arg(reason).arg(held.size()));
}

void RecordStore::setProblem(const QString &problem)
{
    if (problem == currentProblem)
        return;
    currentProblem = problem;
    if (!problem.isEmpty())
        qWarning("Record not kept: %s", qPrintable(problem));
    emit problemChanged(problem);
}

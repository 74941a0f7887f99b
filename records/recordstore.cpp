#include "recordstore.h"

#include "connections.h"
#include "firsttries.h"
#include "recordforwarder.h"
#include "schema.h"
#include "sidecarfiles.h"
#include "sqlerrors.h"

#include <QJsonDocument>
#include <QSqlError>
#include <QSqlQuery>
#include <QtDebug>

namespace {

bool exists(QSqlDatabase &db, const RunRecord &r, bool *found, QSqlError *error)
{
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT 1 FROM runs WHERE id = ?"));
    q.addBindValue(r.id.toString(QUuid::WithoutBraces));
    if (!q.exec()) {
        *error = q.lastError();
        return false;
    }
    *found = q.next();
    return true;
}

// Every record is queued for the server, also while none is named: once
// station.ini names one, the station's earlier records go there too.
bool insertRun(QSqlDatabase &db, RunRecord &r, QSqlError *error)
{
    r.firstTry = true; // until the band's earlier runs of the day are counted below
    QSqlQuery q(db);
    prepareRunInsert(q, QStringLiteral("runs"), r);
    QSqlQuery queue(db);
    if (!q.exec()) {
        *error = q.lastError();
        return false;
    }
    if (!queue.exec(QStringLiteral("INSERT INTO outbox (seq) VALUES (last_insert_rowid())"))) {
        *error = queue.lastError();
        return false;
    }
    // A record taken in late may start before runs already here.
    if (r.unit.isEmpty())
        return true;
    QSqlQuery readBack(db);
    readBack.prepare(QStringLiteral("SELECT first_try FROM runs WHERE id = ?"));
    readBack.addBindValue(r.id.toString(QUuid::WithoutBraces));
    if (!markFirstTries(db, r.id.toString(QUuid::WithoutBraces), error) || !readBack.exec() || !readBack.next()) {
        if (!error->isValid())
            *error = readBack.lastError();
        return false;
    }
    r.firstTry = readBack.value(0).toInt() != 0;
    return true;
}

} // namespace

RecordStore::RecordStore(const QString &folder, int forwardIntervalMs, QObject *parent)
    : QObject(parent), folder(folder), station(StationSettings::read(folder)),
      connectionName(uniqueConnectionName(QStringLiteral("store"))), spool(folder)
{
    if (!station.problem.isEmpty())
        qWarning("%s", qPrintable(station.problem));
    // Records an earlier program could not store go in before anything new.
    takeIn();
    if (station.hasServer() && forwardIntervalMs > 0) {
        // The file and its tables first, so that the forwarder starting
        // beside it never holds the write lock for creating them while a
        // record is being written.
        QString ignored; // said at the first write, if it lasts
        openDatabase(&ignored);
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
    // Last resort for records neither results.db nor the spool would take:
    // the debug output keeps them.
    for (const RunRecord &r : std::as_const(held))
        qWarning("Record not kept: %s", QJsonDocument(r.toJson()).toJson(QJsonDocument::Compact).constData());
}

void RecordStore::setIdentity(const StationIdentity &identity)
{
    // A window checks its station before every band: only a change is news.
    if (!forwarder || identity == reported)
        return;
    reported = identity;
    forwarder->reportAs(station.name, identity);
}

RunRecord RecordStore::begin(const QString &program) const
{
    return RunRecord::begin(program, station.name);
}

RecordStore::Kept RecordStore::keep(RunRecord &record)
{
    held.append(record);
    QString reason;
    if (writeHeld(&record.firstTry, &reason)) {
        if (forwarder)
            forwarder->wake();
        return Kept::Stored;
    }
    return keepElsewhere(reason);
}

bool RecordStore::takeIn()
{
    if (held.isEmpty() && spool.count() == 0)
        return true;
    bool firstTry = true;
    QString reason;
    if (writeHeld(&firstTry, &reason))
        return true;
    keepElsewhere(reason);
    return false;
}

RecordStore::Kept RecordStore::keepElsewhere(const QString &reason)
{
    QString spoolError;
    if (spoolHeld(&spoolError)) {
        const QString problem = QStringLiteral("%1; %2 record(s) kept in %3/ until results.db takes them")
                                    .arg(reason).arg(spool.count()).arg(RecordSpool::folderName());
        if (problem != currentProblem)
            qWarning("Record spooled: %s", qPrintable(problem));
        setProblem(problem);
        return Kept::Spooled;
    }
    const QString problem = QStringLiteral("%1; %2; %3 record(s) held in memory only")
                                .arg(reason, spoolError).arg(held.size());
    if (problem != currentProblem)
        qWarning("Record not kept: %s", qPrintable(problem));
    setProblem(problem);
    return Kept::NotKept;
}

bool RecordStore::spoolHeld(QString *error)
{
    // In order: a record that cannot go stops the ones after it.
    while (!held.isEmpty()) {
        if (!spool.put(held.constFirst(), error))
            return false;
        held.removeFirst();
    }
    return true;
}

QSqlDatabase RecordStore::openDatabase(QString *error)
{
    QSqlDatabase db = reuseConnection(connectionName);
    if (db.isOpen())
        return db;
    return openLocalDatabase(connectionName, folder, false, error);
}

bool RecordStore::writeHeld(bool *lastFirstTry, QString *error)
{
    QSqlDatabase db = openDatabase(error);
    if (!db.isOpen()) {
        *error = namingTheFileInTheWay(folder, *error);
        return false;
    }
    QStringList spoolProblems;
    const QList<RecordSpool::Entry> spooled = spool.waiting(&spoolProblems);
    for (const QString &p : std::as_const(spoolProblems))
        qWarning("Record spool: %s", qPrintable(p));
    // IMMEDIATE: take the write lock first. A transaction that read first
    // would fail at once, without waiting, if another connection wrote
    // in between.
    QSqlQuery control(db);
    QSqlError sqlError;
    bool ok = control.exec(QStringLiteral("BEGIN IMMEDIATE"));
    if (!ok)
        sqlError = control.lastError();
    for (RecordSpool::Entry entry : spooled) {
        bool found = false;
        if (!ok || !exists(db, entry.record, &found, &sqlError) || (!found && !insertRun(db, entry.record, &sqlError))) {
            ok = false;
            break;
        }
    }
    for (RunRecord &r : held) {
        if (!ok || !insertRun(db, r, &sqlError)) {
            ok = false;
            break;
        }
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
        *error = namingTheFileInTheWay(folder, describeSqlError(db, sqlError));
        return false;
    }
    spool.remove(spooled);
    if (!held.isEmpty())
        *lastFirstTry = held.constLast().firstTry;
    held.clear();
    setProblem(QString());
    return true;
}

void RecordStore::setProblem(const QString &problem)
{
    if (problem == currentProblem)
        return;
    currentProblem = problem;
    emit problemChanged(problem);
}

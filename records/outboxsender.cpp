#include "outboxsender.h"

#include "connections.h"
#include "recordspool.h"
#include "firsttries.h"
#include "schema.h"
#include "sidecarfiles.h"
#include "sqlerrors.h"

#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtDebug>

#include <optional>

namespace {

constexpr int kBatchSize = 500;
// No exchange with the server (the login, one statement) waits longer: the
// server ends its own statements after 3 s, so only a server or network that
// stopped answering gets here.
constexpr int kExchangeMs = 5000;
constexpr int kLocalBusyTimeoutMs = 2000;

// A station's login adds the runs of the station of its own name only.
QString refusedRun(const QSqlDatabase &remote, const QSqlError &error, const QString &station)
{
    const bool notItsStation = error.nativeErrorCode() == QLatin1String("42501")
                               && error.databaseText().contains(QLatin1String("row-level security"));
    if (!notItsStation)
        return describeSqlError(remote, error);
    return QStringLiteral("the records server takes from the login %1 only the runs of station %1, not of station %2:"
                          " station.ini's [station] name must be its login's name")
        .arg(remote.userName(), station);
}

} // namespace

OutboxSender::OutboxSender(const QString &folder, const QUrl &server)
    : folder(folder), server(server), localName(uniqueConnectionName(QStringLiteral("outbox"))),
      link(QStringLiteral("outbox-server"))
{
}

OutboxSender::~OutboxSender()
{
    close();
}

void OutboxSender::close()
{
    link.close();
    closeConnection(localName);
}

bool OutboxSender::openLocal(QString *error)
{
    QSqlDatabase local = reuseConnection(localName);
    if (local.isOpen())
        return true;
    local = openLocalDatabase(localName, folder, false, error);
    if (!local.isOpen())
        return false;
    // Taking records off the queue need not wait for the disk: if that is
    // lost, they are sent again and the server ignores them. So this
    // connection holds the file's write lock for microseconds, never for a
    // sync that would make the window's write wait.
    QSqlQuery(local).exec(QStringLiteral("PRAGMA synchronous = NORMAL"));
    // It may wait for the window's writes as long as they take.
    QSqlQuery(local).exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(kLocalBusyTimeoutMs));
    return true;
}

QSqlDatabase OutboxSender::serverDatabase(QString *error)
{
    return link.open(server, error) ? link.database() : QSqlDatabase();
}

int OutboxSender::waitingCount(QString *error)
{
    if (!openLocal(error))
        return -1;
    QSqlDatabase local = QSqlDatabase::database(localName, false);
    QSqlQuery q(local);
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM outbox")) || !q.next()) {
        *error = describeSqlError(local, q.lastError());
        return -1;
    }
    return q.value(0).toInt();
}

int OutboxSender::sendWaiting(QString *error, const std::function<bool()> &keepGoing,
                              const std::function<void(int)> &progress, Watchdog *bound)
{
    error->clear();
    std::optional<Watchdog> own;
    Watchdog &deadline = bound ? *bound : own.emplace(kExchangeMs, [this] { link.cut(); });
    // results.db is not held open between rounds: SQLite shares a file's
    // memory map within the process, and one opened while the file was
    // read-only would keep the store's writes out after it is writable again.
    const auto closeLocal = qScopeGuard([this] { closeConnection(localName); });
    if (!openLocal(error) || !link.open(server, error))
        return 0;
    int total = 0;
    for (;;) {
        const int sent = sendBatch(error, deadline);
        if (sent < 0) {
            if (const QString why = link.cutReason(server); !why.isEmpty())
                *error = why;
            else
                report(deadline); // the server answered: it hears what still waits here
            // Start afresh next time: the server may have gone, the file been replaced.
            close();
            return total;
        }
        total += sent;
        if (progress && sent > 0)
            progress(sent);
        if (sent < kBatchSize) {
            report(deadline);
            return total;
        }
        if (keepGoing && !keepGoing())
            return total;
    }
}

void OutboxSender::reportAs(const QString &stationName, const StationIdentity &stationIdentity)
{
    station = stationName;
    identity = stationIdentity;
}

void OutboxSender::report(Watchdog &deadline)
{
    if (!identity.isSet())
        return;
    QSqlDatabase local = QSqlDatabase::database(localName, false);
    QSqlDatabase remote = link.database();
    QString problem;
    if (reportStation(local, remote, station, identity, RecordSpool(folder).count(), &problem))
        deadline.kick();
    else if (const QString why = link.cutReason(server); !why.isEmpty())
        problem = why;
    if (problem == reportProblem)
        return;
    reportProblem = problem;
    if (problem.isEmpty())
        qDebug("The server %s takes the station's report again", qPrintable(displayUrl(server)));
    else
        qWarning("The server did not take the station's report: %s", qPrintable(problem));
}

int OutboxSender::sendBatch(QString *error, Watchdog &deadline)
{
    QSqlDatabase local = QSqlDatabase::database(localName, false);
    QSqlDatabase remote = link.database();
    QSqlQuery pending(local);
    pending.setForwardOnly(true);
    if (!pending.exec(QStringLiteral("SELECT o.seq, %1 FROM outbox o JOIN runs r ON r.seq = o.seq"
                                     " ORDER BY o.seq LIMIT %2").arg(QLatin1String(kRunColumns)).arg(kBatchSize))) {
        *error = describeSqlError(local, pending.lastError()) + QStringLiteral(" [reading the queue]");
        return -1;
    }
    const int columns = pending.record().count() - 1;
    QStringList marks;
    for (int i = 0; i < columns; ++i)
        marks << QStringLiteral("?");
    if (!remote.transaction()) {
        *error = describeSqlError(remote, remote.lastError());
        return -1;
    }
    QSqlQuery insert(remote);
    if (!insert.prepare(QStringLiteral("INSERT INTO runs (%1) VALUES (%2) ON CONFLICT (id) DO NOTHING")
                            .arg(QLatin1String(kRunColumns), marks.join(QLatin1Char(','))))) {
        *error = describeSqlError(remote, insert.lastError());
        if (remote.isOpen())
            remote.rollback();
        return -1;
    }
    int count = 0;
    qint64 lastSeq = 0;
    QStringList ids;
    while (pending.next()) {
        lastSeq = pending.value(0).toLongLong();
        for (int i = 0; i < columns; ++i)
            insert.bindValue(i, pending.value(i + 1));
        ids << pending.value(1).toString();
        if (!insert.exec()) {
            *error = refusedRun(remote, insert.lastError(), pending.value(3).toString());
            if (remote.isOpen())
                remote.rollback();
            return -1;
        }
        deadline.kick();
        ++count;
    }
    if (count == 0) {
        if (remote.isOpen())
            remote.rollback();
        return 0;
    }
    if (!remote.commit()) {
        *error = describeSqlError(remote, remote.lastError());
        if (remote.isOpen())
            remote.rollback();
        return -1;
    }
    deadline.kick();
    // After the commit, so that of two stations sending the same band's
    // runs at once, the later marking sees both (it sets every run of that
    // band and day again).
    for (const QString &id : std::as_const(ids)) {
        QSqlError sqlError;
        if (!markFirstTries(remote, id, &sqlError)) {
            *error = describeSqlError(remote, sqlError);
            return -1;
        }
        deadline.kick();
    }
    // Only now may they leave the queue; if this fails they are sent again
    // and the server ignores them. The read ends first, or the delete would
    // have to upgrade a stale read and fail without waiting.
    pending.finish();
    QSqlQuery done(local);
    if (!done.exec(QStringLiteral("DELETE FROM outbox WHERE seq <= %1").arg(lastSeq))) {
        *error = namingTheFileInTheWay(folder, describeSqlError(local, done.lastError()))
                 + QStringLiteral(" [emptying the queue]");
        return -1;
    }
    return count;
}

#include "recordforwarder.h"

#include "connections.h"
#include "schema.h"
#include "sqlerrors.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtDebug>

namespace {

constexpr int kConnectTimeoutSeconds = 3;
constexpr int kBatchSize = 500;
constexpr int kLocalBusyTimeoutMs = 2000;

} // namespace

RecordForwarder::RecordForwarder(const QString &folder, const QUrl &server, int intervalMs, QObject *parent)
    : QThread(parent), folder(folder), server(server), intervalMs(intervalMs)
{
}

RecordForwarder::~RecordForwarder()
{
    stop();
}

void RecordForwarder::wake()
{
    QMutexLocker lock(&mutex);
    woken = true;
    wakeUp.wakeAll();
}

void RecordForwarder::stop()
{
    requestInterruption();
    {
        QMutexLocker lock(&mutex);
        wakeUp.wakeAll();
    }
    wait();
}

bool RecordForwarder::waitForWork()
{
    QMutexLocker lock(&mutex);
    if (!woken && !isInterruptionRequested())
        wakeUp.wait(&mutex, QDeadlineTimer(intervalMs));
    // A record written just before the end still goes, when the server
    // answered the round before: a short-lived bandctl sends its own.
    const bool more = !isInterruptionRequested() || (woken && problem.isEmpty());
    woken = false;
    return more;
}

void RecordForwarder::run()
{
    const QString localName = uniqueConnectionName(QStringLiteral("forward-local"));
    const QString serverName = uniqueConnectionName(QStringLiteral("forward-server"));
    do {
        forwardRound(localName, serverName);
    } while (waitForWork());
    closeConnection(serverName);
    closeConnection(localName);
}

void RecordForwarder::forwardRound(const QString &localName, const QString &serverName)
{
    QString error;
    QSqlDatabase local = reuseConnection(localName);
    if (!local.isOpen()) {
        local = openLocalDatabase(localName, folder, false, &error);
        if (!local.isOpen()) {
            setProblem(error);
            return;
        }
        // Taking records off the queue need not wait for the disk: if that
        // is lost, they are sent again and the server ignores them. So this
        // connection holds the file's write lock for microseconds, never
        // for a sync that would make the window's write wait.
        QSqlQuery(local).exec(QStringLiteral("PRAGMA synchronous = NORMAL"));
        // This thread may wait for the window's writes as long as it takes.
        QSqlQuery(local).exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(kLocalBusyTimeoutMs));
    }
    QSqlDatabase remote = reuseConnection(serverName);
    if (!remote.isOpen()) {
        remote = openServerDatabase(serverName, server, kConnectTimeoutSeconds, &error);
        if (!remote.isOpen()) {
            setProblem(error);
            return;
        }
    }
    int sent = 0;
    do {
        sent = forwardBatch(local, remote, &error);
        if (sent < 0) {
            setProblem(error);
            // Start afresh next time: the server may have gone, the file been replaced.
            local.close();
            remote.close();
            return;
        }
        if (sent > 0)
            emit forwarded(sent);
    } while (sent == kBatchSize && !isInterruptionRequested());
    setProblem(QString());
}

int RecordForwarder::forwardBatch(QSqlDatabase &local, QSqlDatabase &remote, QString *error)
{
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
        remote.rollback();
        return -1;
    }
    int count = 0;
    qint64 lastSeq = 0;
    while (pending.next()) {
        lastSeq = pending.value(0).toLongLong();
        for (int i = 0; i < columns; ++i)
            insert.bindValue(i, pending.value(i + 1));
        if (!insert.exec()) {
            *error = describeSqlError(remote, insert.lastError());
            remote.rollback();
            return -1;
        }
        ++count;
    }
    if (count == 0) {
        remote.rollback();
        return 0;
    }
    if (!remote.commit()) {
        *error = describeSqlError(remote, remote.lastError());
        remote.rollback();
        return -1;
    }
    // Only now may they leave the queue; if this fails they are sent again
    // and the server ignores them. The read ends first, or the delete would
    // have to upgrade a stale read and fail without waiting.
    pending.finish();
    QSqlQuery done(local);
    if (!done.exec(QStringLiteral("DELETE FROM outbox WHERE seq <= %1").arg(lastSeq))) {
        *error = describeSqlError(local, done.lastError()) + QStringLiteral(" [emptying the queue]");
        return -1;
    }
    return count;
}

void RecordForwarder::setProblem(const QString &newProblem)
{
    if (newProblem == problem)
        return;
    problem = newProblem;
    if (problem.isEmpty())
        qDebug("Records reach the server %s again", qPrintable(displayUrl(server)));
    else
        qWarning("Records wait for the server: %s", qPrintable(problem));
    emit problemChanged(problem);
}

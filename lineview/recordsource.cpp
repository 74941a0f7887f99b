#include "recordsource.h"

#include "connections.h"
#include "sqlerrors.h"

#include <atomic>

#include <QFileInfo>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>

namespace {

constexpr int kServerTimeoutSeconds = 10;

// A thread's connections, one per source, closed when the thread ends.
struct ThreadConnections {
    QHash<quint64, QString> names;
    ~ThreadConnections()
    {
        for (const QString &name : std::as_const(names))
            closeConnection(name);
    }
};
thread_local ThreadConnections threadConnections;
std::atomic<quint64> sourcesMade{0};

} // namespace

RecordSource::RecordSource() : id(++sourcesMade) {}

bool RecordSource::setLocation(const QString &location, QString *error)
{
    const QUrl url(location);
    if (isServerUrl(url)) {
        server = true;
        serverUrl = url;
        return true;
    }
    const QFileInfo info(location);
    if (info.isDir() && QFileInfo(info.absoluteFilePath() + QStringLiteral("/results.db")).isFile()) {
        localFolder = info.absoluteFilePath();
        return true;
    }
    if (info.isFile() && info.fileName() == QLatin1String("results.db")) {
        localFolder = info.absolutePath();
        return true;
    }
    *error = QStringLiteral("--database %1 is neither a postgresql:// url nor a station's results.db").arg(location);
    return false;
}

QString RecordSource::describe() const
{
    return server ? displayUrl(serverUrl) : localFolder + QStringLiteral("/results.db");
}

QSqlDatabase RecordSource::database(QString *error) const
{
    const QString known = threadConnections.names.value(id);
    if (!known.isEmpty()) {
        QSqlDatabase db = QSqlDatabase::database(known, false);
        if (db.isOpen())
            return db;
        forgetConnection();
    }
    const QString name = uniqueConnectionName(QStringLiteral("lineview"));
    if (!server) {
        QSqlDatabase db = openLocalDatabase(name, localFolder, true, error);
        if (db.isOpen())
            threadConnections.names.insert(id, name);
        else
            closeConnection(name);
        return db;
    }
    QSqlDatabase db = serverConnection(name, serverUrl, kServerTimeoutSeconds);
    if (!db.open()) {
        *error = cannotReachServer(serverUrl, db.lastError().text());
        db = QSqlDatabase();
        closeConnection(name);
        return QSqlDatabase();
    }
    threadConnections.names.insert(id, name);
    // A second guard beside the viewer's rights: this session writes nothing.
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SET default_transaction_read_only = on"))) {
        *error = describeSqlError(db, q.lastError());
        db.close();
        return QSqlDatabase();
    }
    return db;
}

void RecordSource::forgetConnection() const
{
    const QString name = threadConnections.names.take(id);
    if (!name.isEmpty())
        closeConnection(name);
}

bool RecordSource::hasLineTables(QSqlDatabase &db) const
{
    if (!server)
        return false;
    QSqlQuery q(db);
    return q.exec(QStringLiteral("SELECT to_regclass('stations') IS NOT NULL AND to_regclass('day_counts') IS NOT NULL"))
           && q.next() && q.value(0).toBool();
}

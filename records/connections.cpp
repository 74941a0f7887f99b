#include "connections.h"

#include "schema.h"
#include "sidecarfiles.h"
#include "sqlerrors.h"

#include <QAtomicInt>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QRegularExpression>
#include <QUrlQuery>

namespace {

// Long enough to outlast our own forwarder's short commits, short enough
// that a file held by another program does not freeze a window.
constexpr int kBusyTimeoutMs = 100;

// The server's bounds on this session: no statement, lock wait or open
// transaction outlasts them, whatever another session holds.
constexpr int kServerStatementMs = 3000;
constexpr int kServerLockMs = 1000;
constexpr int kServerIdleTransactionMs = 10000;

bool runPragma(QSqlDatabase &db, const QString &pragma, QString *error)
{
    QSqlQuery q(db);
    if (q.exec(pragma))
        return true;
    *error = describeSqlError(db, q.lastError());
    return false;
}

} // namespace

QString uniqueConnectionName(const QString &purpose)
{
    static QAtomicInt counter;
    return QStringLiteral("records-%1-%2").arg(purpose).arg(counter.fetchAndAddRelaxed(1));
}

QSqlDatabase openLocalDatabase(const QString &name, const QString &folder, bool readOnly, QString *error)
{
    const QString path = QDir(folder).filePath(QStringLiteral("results.db"));
    if (readOnly && !QFileInfo::exists(path)) {
        *error = QStringLiteral("no results.db in %1").arg(QDir(folder).absolutePath());
        return QSqlDatabase();
    }
    // A -shm left read-only by a while of a read-only results.db would keep
    // every write out, whoever opens the file to write.
    if (!readOnly)
        matchSidecarsToDatabase(folder);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(path);
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs);
    if (readOnly)
        options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    db.setConnectOptions(options);
    if (!db.open()) {
        *error = describeSqlError(db, db.lastError());
        return QSqlDatabase();
    }
    // A file of a newer schema is not this program's to touch, not even to
    // switch its journal; and it must be one this program can read.
    const int version = schemaVersion(db, error);
    if (version < 0 || version > kSchemaVersion) {
        if (version > kSchemaVersion)
            *error = newerSchemaProblem(db, version);
        db.close();
        return QSqlDatabase();
    }
    if (readOnly) {
        if (!runPragma(db, QStringLiteral("PRAGMA query_only = 1"), error))
            return QSqlDatabase();
        if (version == kSchemaVersion)
            return db;
        // An older file is brought up to date once, then read.
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        {
            QSqlDatabase upgrade = openLocalDatabase(name + QStringLiteral("-upgrade"), folder, false, error);
            const bool upgraded = upgrade.isOpen();
            upgrade.close();
            upgrade = QSqlDatabase();
            QSqlDatabase::removeDatabase(name + QStringLiteral("-upgrade"));
            if (!upgraded) {
                error->prepend(QStringLiteral("results.db has the older schema version %1 and could not be updated: ")
                                   .arg(version));
                return QSqlDatabase();
            }
        }
        return openLocalDatabase(name, folder, true, error);
    }
    // A commit counts only once it is on the disk: WAL, and every commit synced.
    if (!runPragma(db, QStringLiteral("PRAGMA journal_mode = WAL"), error)
        || !runPragma(db, QStringLiteral("PRAGMA synchronous = FULL"), error)
        || !prepareSchema(db, error)) {
        // Left open, the next write would take it as ready: a file of a newer
        // schema would be written into.
        db.close();
        return QSqlDatabase();
    }
    return db;
}

QList<QPair<QString, QString>> serverAddress(const QUrl &url)
{
    return {{QStringLiteral("host"), url.host()},
            {QStringLiteral("port"), QString::number(url.port(5432))},
            {QStringLiteral("user"), url.userName()},
            {QStringLiteral("password"), url.password()},
            {QStringLiteral("dbname"), url.path().mid(1)}};
}

QList<QPair<QString, QString>> sessionParameters(const QUrl &url, int timeoutSeconds)
{
    // Give up quickly on a server that is down or does not answer, notice a
    // connection that died, and let the server end what waits too long: a
    // statement, a lock, a transaction left open by a client that froze.
    QList<QPair<QString, QString>> parameters{
        {QStringLiteral("connect_timeout"), QString::number(timeoutSeconds)},
        {QStringLiteral("tcp_user_timeout"), QString::number(timeoutSeconds * 1000)},
        {QStringLiteral("keepalives"), QStringLiteral("1")},
        {QStringLiteral("keepalives_idle"), QStringLiteral("5")},
        {QStringLiteral("keepalives_interval"), QStringLiteral("2")},
        {QStringLiteral("keepalives_count"), QStringLiteral("2")},
        {QStringLiteral("options"), QStringLiteral("-c statement_timeout=%1 -c lock_timeout=%2"
                                                   " -c idle_in_transaction_session_timeout=%3")
                                        .arg(kServerStatementMs).arg(kServerLockMs).arg(kServerIdleTransactionMs)},
        {QStringLiteral("application_name"), QStringLiteral("bandtools")}};
    // What the url's query names comes last, so it wins (sslmode, ...).
    const auto items = QUrlQuery(url).queryItems(QUrl::FullyDecoded);
    for (const auto &item : items)
        parameters << item;
    return parameters;
}

QSqlDatabase serverConnection(const QString &name, const QUrl &url, int timeoutSeconds)
{
    // Where the server is, exactly as the first login has it.
    QHash<QString, QString> address;
    for (const auto &p : serverAddress(url))
        address.insert(p.first, p.second);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    db.setHostName(address.value(QStringLiteral("host")));
    db.setPort(address.value(QStringLiteral("port")).toInt());
    db.setUserName(address.value(QStringLiteral("user")));
    db.setPassword(address.value(QStringLiteral("password")));
    db.setDatabaseName(address.value(QStringLiteral("dbname")));
    QStringList options;
    const auto parameters = sessionParameters(url, timeoutSeconds);
    for (const auto &p : parameters) {
        QString value = p.second;
        value.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('\''), QStringLiteral("\\'"));
        options << p.first + QStringLiteral("='") + value + QLatin1Char('\'');
    }
    db.setConnectOptions(options.join(QLatin1Char(';')));
    return db;
}

QString cannotReachServer(const QUrl &url, const QString &why)
{
    // The client library's texts for a server that is not the one the CA vouches for.
    static const struct {
        QRegularExpression text;
        const char *reason;
    } certificateProblems[] = {
        {QRegularExpression(QStringLiteral("certificate verify failed")),
         "its certificate is not vouched for by the CA of station.ini's [database] ca= (another CA's, or out of date)"},
        {QRegularExpression(QStringLiteral("server certificate for .* does not match host name")),
         "its certificate is for another host name than the url's"},
        {QRegularExpression(QStringLiteral("server does not support SSL, but SSL was required")),
         "it does not offer TLS, and the connection must be verified"},
        {QRegularExpression(QStringLiteral("root certificate file .* does not exist|could not read root certificate file")),
         "the CA file of station.ini's [database] ca= cannot be read"},
    };
    QString text = withoutPassword(why.simplified(), url);
    for (const auto &problem : certificateProblems)
        if (problem.text.match(text).hasMatch()) {
            text.prepend(QLatin1String(problem.reason) + QStringLiteral(": "));
            break;
        }
    return QStringLiteral("cannot reach the records server %1 (%2)").arg(displayUrl(url), text);
}

bool isUnverifiedServer(const QUrl &url)
{
    if (QUrlQuery(url).queryItemValue(QStringLiteral("sslmode")) == QLatin1String("verify-full"))
        return false;
    static const QRegularExpression loopback(QStringLiteral("^(localhost|::1|127\\.\\d+\\.\\d+\\.\\d+)$"),
                                             QRegularExpression::CaseInsensitiveOption);
    return !loopback.match(url.host()).hasMatch();
}

QString unverifiedServerWarning(const QUrl &url)
{
    return QStringLiteral("records server %1: connection not verified (no [database] ca= in station.ini)")
        .arg(displayUrl(url));
}

bool prepareServer(QSqlDatabase &db, QString *error)
{
    // Creating what exists already is not news to the operator.
    QSqlQuery(db).exec(QStringLiteral("SET client_min_messages = warning"));
    return prepareSchema(db, error);
}

QSqlDatabase openServerDatabase(const QString &name, const QUrl &url, int timeoutSeconds, QString *error)
{
    QSqlDatabase db = serverConnection(name, url, timeoutSeconds);
    if (!db.open()) {
        *error = cannotReachServer(url, db.lastError().text());
        return QSqlDatabase();
    }
    if (!prepareServer(db, error))
        return QSqlDatabase();
    return db;
}

void closeConnection(const QString &name)
{
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

QSqlDatabase reuseConnection(const QString &name)
{
    if (QSqlDatabase::database(name, false).isOpen())
        return QSqlDatabase::database(name, false);
    closeConnection(name);
    return QSqlDatabase();
}

QString displayUrl(const QUrl &url)
{
    QUrl shown = url.adjusted(QUrl::RemovePassword);
    if (shown.hasQuery()) {
        QUrlQuery query(shown);
        query.removeAllQueryItems(QStringLiteral("password"));
        query.removeAllQueryItems(QStringLiteral("sslrootcert"));
        shown.setQuery(query.isEmpty() ? QString() : query.query(QUrl::FullyEncoded));
    }
    return shown.toString();
}

QString withoutPassword(QString text, const QUrl &url)
{
    // The password as given (userinfo or ?password=), decoded and as written in the url.
    QStringList secrets{url.password(QUrl::FullyDecoded), url.password(QUrl::FullyEncoded),
                        QUrlQuery(url).queryItemValue(QStringLiteral("password"), QUrl::FullyDecoded),
                        QUrlQuery(url).queryItemValue(QStringLiteral("password"), QUrl::FullyEncoded)};
    for (const QString &secret : std::as_const(secrets))
        if (!secret.isEmpty())
            text.replace(secret, QStringLiteral("***"));
    // A connection string's password=... keyword, whatever it holds.
    static const QRegularExpression keyword(QStringLiteral("(password\\s*=\\s*)('(?:[^'\\\\]|\\\\.)*'|\\S+)"),
                                            QRegularExpression::CaseInsensitiveOption);
    text.replace(keyword, QStringLiteral("\\1***"));
    return text;
}

bool isServerUrl(const QUrl &url)
{
    const QString scheme = url.scheme();
    return url.isValid() && (scheme == QLatin1String("postgresql") || scheme == QLatin1String("postgres"))
           && !url.host().isEmpty() && url.path().size() >= 2 && url.port(5432) > 0;
}

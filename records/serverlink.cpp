#include "serverlink.h"

#include "connections.h"
#include "serversocket.h"

#include <QDeadlineTimer>
#include <QSqlDriver>
#include <QVariant>
#include <QSqlError>

#include <libpq-fe.h>

#include <vector>

namespace {

// How long a server has for the first login: a live one answers in
// milliseconds, even across a busy line network.
constexpr int kFirstLoginMs = 1500;
// The client library's own bound on the driver's login (it takes no less than 2 s).
constexpr int kConnectTimeoutSeconds = 2;
constexpr int kSliceMs = 50;

// The driver's connection, once its login is through; null before.
PGconn *connectionOf(const QSqlDriver *driver)
{
    const QVariant handle = driver->handle();
    return handle.isValid() ? *static_cast<PGconn *const *>(handle.constData()) : nullptr;
}

} // namespace

ServerLink::ServerLink(const QString &purpose) : name(uniqueConnectionName(purpose)) {}

ServerLink::~ServerLink()
{
    close();
}

bool ServerLink::isOpen() const
{
    return QSqlDatabase::database(name, false).isOpen();
}

QSqlDatabase ServerLink::database() const
{
    return QSqlDatabase::database(name, false);
}

// A whole login, driven here step by step in short waits, so that a cut
// ends it within one of them, then a clean goodbye: the server sees a
// session that came and went, and logs nothing (a bare connection dropped
// in its TLS handshake is logged as an error there).
bool ServerLink::logInOnce(const QUrl &url, QString *error)
{
    std::vector<QByteArray> texts;
    for (const auto &p : serverAddress(url) + sessionParameters(url, kConnectTimeoutSeconds)) {
        if (!p.second.isEmpty()) {
            texts.push_back(p.first.toUtf8());
            texts.push_back(p.second.toUtf8());
        }
    }
    std::vector<const char *> keys, values;
    for (std::size_t i = 0; i < texts.size(); i += 2) {
        keys.push_back(texts[i].constData());
        values.push_back(texts[i + 1].constData());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);

    QDeadlineTimer deadline(kFirstLoginMs);
    PGconn *connection = PQconnectStartParams(keys.data(), values.data(), 0);
    // Before the first poll the library waits to write.
    PostgresPollingStatusType state = PGRES_POLLING_WRITING;
    while (connection && PQstatus(connection) != CONNECTION_BAD && state != PGRES_POLLING_OK
           && state != PGRES_POLLING_FAILED && !deadline.hasExpired()) {
        if (wasCut)
            break;
        // The socket may change from one step to the next.
        if (waitForSocket(PQsocket(connection), state == PGRES_POLLING_WRITING,
                          int(qMin<qint64>(kSliceMs, deadline.remainingTime()))))
            state = PQconnectPoll(connection);
    }
    const bool loggedIn = connection && state == PGRES_POLLING_OK;
    if (!loggedIn) {
        if (wasCut || (deadline.hasExpired() && state != PGRES_POLLING_FAILED))
            *error = wasCut ? cutReason(url) : QStringLiteral("the records server %1 does not answer").arg(displayUrl(url));
        else
            *error = cannotReachServer(url, QString::fromUtf8(PQerrorMessage(connection)));
    }
    PQfinish(connection);
    return loggedIn;
}

bool ServerLink::open(const QUrl &url, QString *error, bool prepare)
{
    if (isOpen())
        return true;
    close();
    wasCut = false;
    if (hungUp) {
        *error = cutReason(url);
        return false;
    }
    // Said once by a program, not at every exchange; the administrator's
    // set-up names its server on the command line and says it itself.
    static std::atomic<bool> saidUnverified{false};
    if (prepare && isUnverifiedServer(url) && !saidUnverified.exchange(true))
        qWarning("%s", qPrintable(unverifiedServerWarning(url)));
    if (!logInOnce(url, error))
        return false;
    QSqlDatabase db = serverConnection(name, url, kConnectTimeoutSeconds);
    {
        QMutexLocker lock(&mutex);
        driver = db.driver();
    }
    // The driver logs in again and sets its session up; a cut from here on
    // ends its exchanges through the connection's own socket. One that came
    // before would find nothing to cut.
    const bool opened = !wasCut && db.open();
    if (opened && !wasCut && (!prepare || prepareServer(db, error)))
        return true;
    if (wasCut)
        *error = cutReason(url);
    else if (!opened)
        *error = cannotReachServer(url, db.lastError().text());
    db = QSqlDatabase();
    close();
    return false;
}

void ServerLink::close()
{
    {
        QMutexLocker lock(&mutex);
        driver = nullptr;
    }
    closeConnection(name);
    QMutexLocker lock(&mutex);
    driverSocket.release();
}

void ServerLink::cut()
{
    QMutexLocker lock(&mutex);
    wasCut = true;
    // The connection is read once per open(): the cut makes the driver's
    // set-up fail, and the driver then frees it. Null while the driver's own
    // login runs: that one ends by its connect time-out, and a later cut may
    // still end the set-up after it.
    if (driverSocket.isCut()) {
        driverSocket.again();
        return;
    }
    if (PGconn *connection = driver ? connectionOf(driver) : nullptr; connection && PQsocket(connection) >= 0)
        driverSocket.cut(PQsocket(connection));
}

void ServerLink::hangUp()
{
    stopped = true;
    giveUp();
}

void ServerLink::giveUp()
{
    hungUp = true;
    cut();
}

QString ServerLink::cutReason(const QUrl &url) const
{
    if (stopped)
        return QStringLiteral("stopped waiting for the records server %1").arg(displayUrl(url));
    if (wasCut || hungUp)
        return QStringLiteral("the records server %1 does not answer").arg(displayUrl(url));
    return QString();
}

Watchdog::Watchdog(int timeoutMs, std::function<void()> bite, std::function<bool()> stopRequested)
    : timeout(timeoutMs), bite(std::move(bite)), stopRequested(std::move(stopRequested)),
      deadline(std::chrono::steady_clock::now() + timeout)
{
    thread = std::thread([this] {
        std::unique_lock<std::mutex> lock(mutex);
        while (!done) {
            // A stop request is a flag set by a signal handler: looked at often.
            const auto now = std::chrono::steady_clock::now();
            const auto until = this->stopRequested ? std::min(deadline, now + std::chrono::milliseconds(kSliceMs)) : deadline;
            changed.wait_until(lock, until);
            if (done)
                return;
            if (std::chrono::steady_clock::now() >= deadline || (this->stopRequested && this->stopRequested())) {
                this->bite();
                // Again soon: a wait may begin just after a cut.
                deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kSliceMs);
            }
        }
    });
}

Watchdog::~Watchdog()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
    }
    changed.notify_all();
    thread.join();
}

void Watchdog::kick()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        deadline = std::chrono::steady_clock::now() + timeout;
    }
    changed.notify_all();
}

#include "serverlink.h"

#include "connections.h"

#include <QDeadlineTimer>
#include <QSqlDriver>
#include <QTcpSocket>
#include <QtEndian>

#include <libpq-fe.h>
#ifdef _WIN32
#include <winsock2.h>
#define SHUT_RDWR SD_BOTH // the same call, under Windows' name
#else
#include <sys/socket.h>
#endif

namespace {

// How long a server has to answer the probe: a live one answers in
// milliseconds, even across a busy line network.
constexpr int kProbeMs = 1500;
// The client library's own bound on logging in (it takes no less than 2 s).
constexpr int kConnectTimeoutSeconds = 2;
constexpr int kSliceMs = 50;

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

// The server's first answer to an SSL request is one byte ('S' or 'N'); a
// server that accepts the connection but sends nothing is frozen or
// overloaded, and logging in would wait for it.
bool ServerLink::probe(const QUrl &url, QString *error) const
{
    QTcpSocket probe;
    QDeadlineTimer deadline(kProbeMs);
    probe.connectToHost(url.host(), quint16(url.port(5432)));
    while (!hungUp && probe.state() != QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
        if (!probe.waitForConnected(kSliceMs) && probe.state() == QAbstractSocket::UnconnectedState) {
            *error = QStringLiteral("cannot reach the records server %1 (%2)").arg(displayUrl(url), probe.errorString());
            return false;
        }
    }
    if (probe.state() == QAbstractSocket::ConnectedState) {
        const quint32 request[2] = {qToBigEndian<quint32>(8), qToBigEndian<quint32>(80877103)};
        probe.write(reinterpret_cast<const char *>(request), sizeof request);
        while (!hungUp && probe.bytesAvailable() == 0 && !deadline.hasExpired()
               && probe.state() == QAbstractSocket::ConnectedState)
            probe.waitForReadyRead(kSliceMs);
        if (probe.bytesAvailable() > 0)
            return true;
    }
    *error = hungUp ? QStringLiteral("stopped waiting for the records server %1").arg(displayUrl(url))
                    : QStringLiteral("the records server %1 does not answer").arg(displayUrl(url));
    return false;
}

bool ServerLink::open(const QUrl &url, QString *error)
{
    if (isOpen())
        return true;
    close();
    if (hungUp) {
        *error = QStringLiteral("stopped waiting for the records server %1").arg(displayUrl(url));
        return false;
    }
    if (!probe(url, error))
        return false;
    QSqlDatabase db = connectServer(name, url, kConnectTimeoutSeconds, error);
    if (!db.isOpen())
        return false;
    const QVariant handle = db.driver()->handle();
    PGconn *connection = handle.isValid() ? *static_cast<PGconn *const *>(handle.constData()) : nullptr;
    {
        QMutexLocker lock(&mutex);
        socket = connection ? PQsocket(connection) : -1;
        if (hungUp && socket >= 0)
            ::shutdown(socket, SHUT_RDWR);
    }
    if (!prepareServer(db, error)) {
        close();
        return false;
    }
    return true;
}

void ServerLink::close()
{
    {
        QMutexLocker lock(&mutex);
        socket = -1;
    }
    closeConnection(name);
}

void ServerLink::hangUp()
{
    QMutexLocker lock(&mutex);
    hungUp = true;
    if (socket >= 0)
        ::shutdown(socket, SHUT_RDWR);
}

Watchdog::Watchdog(int timeoutMs, std::function<void()> bite)
    : timeout(timeoutMs), bite(std::move(bite)), deadline(std::chrono::steady_clock::now() + timeout)
{
    thread = std::thread([this] {
        std::unique_lock<std::mutex> lock(mutex);
        while (!done) {
            if (changed.wait_until(lock, deadline) == std::cv_status::timeout
                && std::chrono::steady_clock::now() >= deadline) {
                this->bite();
                return;
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

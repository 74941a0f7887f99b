// One connection to the records server whose every exchange another thread
// can cut short. The server's own time-outs end a statement that waits for a
// lock, but a frozen server, a silent network or a relay that stops passing
// bytes holds a call in the client library for as long as the operating
// system keeps the connection (keepalives are answered by the kernel). cut()
// ends such a wait at once, in the first login, in the driver's own set-up
// after it, or in a statement, so that every caller's wait has a bound.
#pragma once

#include "serversocket.h"

#include <QMutex>
#include <QSqlDatabase>
#include <QString>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class QSqlDriver;

class ServerLink {
public:
    explicit ServerLink(const QString &purpose);
    ~ServerLink();
    ServerLink(const ServerLink &) = delete;
    ServerLink &operator=(const ServerLink &) = delete;

    // Connects unless already connected: first a login of its own that any
    // thread can cut and that ends cleanly (a server that is frozen or does
    // not answer is found out there), then the driver's login, then the
    // schema prepared unless prepare is false (then a server whose
    // certificate nobody checks is not said either). False with *error.
    bool open(const QUrl &url, QString *error, bool prepare = true);
    bool isOpen() const;
    // The open connection, for the thread that opened it.
    QSqlDatabase database() const;
    void close();

    // From any thread: what waits on the server now (a login, the driver's
    // set-up, a statement) fails at once; the connection is then closed
    // and the next open() starts afresh. Called again, it also ends a wait
    // that began after the first call.
    void cut();
    // From any thread: cut(), and every later open() fails at once;
    // hangUp() when the program stops, giveUp() when its time ran out.
    void hangUp();
    void giveUp();
    // Why the last exchange failed when it was cut; empty otherwise.
    QString cutReason(const QUrl &url) const;

private:
    bool logInOnce(const QUrl &url, QString *error);

    const QString name;
    mutable QMutex mutex;
    QSqlDriver *driver = nullptr; // the driver's connection, under mutex
    SocketCut driverSocket;       // its socket once cut, under mutex
    std::atomic<bool> wasCut{false};
    std::atomic<bool> hungUp{false};
    std::atomic<bool> stopped{false};
};

// Calls bite timeoutMs after construction or the last kick(), or as soon
// as stopRequested() says so, and again every few dozen milliseconds after
// that until destroyed: the bound on a caller's wait for the server.
class Watchdog {
public:
    Watchdog(int timeoutMs, std::function<void()> bite, std::function<bool()> stopRequested = {});
    ~Watchdog();
    Watchdog(const Watchdog &) = delete;
    Watchdog &operator=(const Watchdog &) = delete;

    void kick();

private:
    const std::chrono::milliseconds timeout;
    const std::function<void()> bite;
    const std::function<bool()> stopRequested;
    std::mutex mutex;
    std::condition_variable changed;
    std::chrono::steady_clock::time_point deadline;
    bool done = false;
    std::thread thread;
};

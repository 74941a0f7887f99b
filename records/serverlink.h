// One connection to the records server that another thread can cut short.
// The server's own time-outs end a statement that waits for a lock, but a
// frozen server or a silent network holds a call in the client library for
// as long as the operating system keeps the connection; hangUp() ends such
// a wait at once, so that every caller's wait has a bound.
#pragma once

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

class ServerLink {
public:
    explicit ServerLink(const QString &purpose);
    ~ServerLink();
    ServerLink(const ServerLink &) = delete;
    ServerLink &operator=(const ServerLink &) = delete;

    // Connects unless already connected: first makes sure the server answers
    // at all (a short, interruptible probe), then logs in. False with *error.
    bool open(const QUrl &url, QString *error);
    bool isOpen() const;
    // The open connection, for the thread that opened it.
    QSqlDatabase database() const;
    void close();

    // From any thread: a connect under way gives up, and a call waiting on
    // the server returns with an error. Every later open() fails at once.
    void hangUp();

private:
    bool probe(const QUrl &url, QString *error) const;

    const QString name;
    mutable QMutex mutex;
    int socket = -1;   // the open connection's socket, under mutex
    std::atomic<bool> hungUp{false};
};

// Calls bite once timeoutMs after construction or the last kick(), unless
// destroyed first: the bound on a caller's wait for the server.
class Watchdog {
public:
    Watchdog(int timeoutMs, std::function<void()> bite);
    ~Watchdog();
    Watchdog(const Watchdog &) = delete;
    Watchdog &operator=(const Watchdog &) = delete;

    void kick();

private:
    const std::chrono::milliseconds timeout;
    const std::function<void()> bite;
    std::mutex mutex;
    std::condition_variable changed;
    std::chrono::steady_clock::time_point deadline;
    bool done = false;
    std::thread thread;
};

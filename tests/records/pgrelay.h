// A relay between the station and the test's server that stops passing
// bytes, or freezes the session's own server process, at a chosen point of
// a session: a server or network that stops answering, on demand. Sessions
// through it must not ask for TLS (sslmode=disable): it reads the server's
// messages to know when the login is through and which process serves it.
#pragma once

#include <QByteArray>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

class PgRelay {
public:
    explicit PgRelay(int serverPort);
    ~PgRelay(); // resumes every server process it froze
    PgRelay(const PgRelay &) = delete;
    PgRelay &operator=(const PgRelay &) = delete;

    int port() const { return listenPort; }

    // From now on, a session whose client sends its first statement after
    // logging in (or, with sql given, sends that text) stalls there: the
    // relay passes nothing more either way, not even the client's end, or,
    // with freezeServer, passes everything but stops (SIGSTOP) the
    // session's server process.
    void stall(const QByteArray &sql = QByteArray(), bool freezeServer = false);
    // Sessions that have not stalled yet pass again; stalled ones stay so.
    void passAll();
    // How many sessions have stalled.
    int stalledCount() const { return stalled; }

private:
    struct Session;
    bool pass(Session &session, bool fromClient);

    int listenFd = -1;
    int listenPort = 0;
    int wakePipe[2] = {-1, -1};
    std::mutex mutex;
    bool stalling = false;
    bool freezing = false;
    QByteArray trigger;
    std::vector<int> frozenPids;
    std::atomic<int> stalled{0};
    std::atomic<bool> stopping{false};
    std::thread thread;
};

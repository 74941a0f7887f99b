#include "pgrelay.h"

#include <QtEndian>

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <list>

struct PgRelay::Session {
    int client = -1;
    int server = -1;
    QByteArray fromServer; // not yet parsed into whole messages
    bool loggedIn = false;
    bool stalled = false;
    bool frozen = false; // stalled by stopping its server process: bytes still pass
    bool clientEnded = false; // a stalled session's client went: it is not told
    int backendPid = 0;
};

PgRelay::PgRelay(int serverPort)
{
    listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(listenFd, reinterpret_cast<sockaddr *>(&address), size);
    ::listen(listenFd, 16);
    ::getsockname(listenFd, reinterpret_cast<sockaddr *>(&address), &size);
    listenPort = ntohs(address.sin_port);
    [[maybe_unused]] const int piped = ::pipe2(wakePipe, O_CLOEXEC);
    thread = std::thread([this, serverPort] {
        std::list<Session> sessions;
        for (;;) {
            std::vector<pollfd> fds{{wakePipe[0], POLLIN, 0}, {listenFd, POLLIN, 0}};
            for (const Session &s : sessions)
                fds.push_back({s.clientEnded ? -1 : s.client, POLLIN, 0}), fds.push_back({s.server, POLLIN, 0});
            ::poll(fds.data(), fds.size(), -1);
            if (stopping)
                break;
            if (fds[1].revents & POLLIN) {
                Session s;
                s.client = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
                s.server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                sockaddr_in to{};
                to.sin_family = AF_INET;
                to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                to.sin_port = htons(quint16(serverPort));
                ::connect(s.server, reinterpret_cast<sockaddr *>(&to), sizeof to);
                sessions.push_back(s);
            }
            std::size_t i = 2;
            for (auto it = sessions.begin(); it != sessions.end() && i + 1 < fds.size(); i += 2) {
                const bool open = (!(fds[i].revents & (POLLIN | POLLHUP)) || pass(*it, true))
                                  && (!(fds[i + 1].revents & (POLLIN | POLLHUP)) || pass(*it, false));
                if (open) {
                    ++it;
                    continue;
                }
                ::close(it->client);
                ::close(it->server);
                it = sessions.erase(it);
            }
        }
        for (const Session &s : sessions) {
            ::close(s.client);
            ::close(s.server);
        }
    });
}

PgRelay::~PgRelay()
{
    stopping = true;
    [[maybe_unused]] const ssize_t written = ::write(wakePipe[1], "x", 1);
    thread.join();
    for (int pid : frozenPids)
        ::kill(pid, SIGCONT);
    ::close(listenFd);
    ::close(wakePipe[0]);
    ::close(wakePipe[1]);
}

void PgRelay::stall(const QByteArray &sql, bool freezeServer)
{
    std::lock_guard<std::mutex> lock(mutex);
    stalling = true;
    freezing = freezeServer;
    trigger = sql;
}

void PgRelay::passAll()
{
    std::lock_guard<std::mutex> lock(mutex);
    stalling = false;
}

// Moves what one side sent to the other; false once that side has closed.
bool PgRelay::pass(Session &s, bool fromClient)
{
    char buffer[65536];
    const ssize_t n = ::read(fromClient ? s.client : s.server, buffer, sizeof buffer);
    if (n <= 0) {
        // A network gone silent sends nothing back, not even the session's end.
        s.clientEnded = fromClient && s.stalled && !s.frozen;
        return s.clientEnded;
    }
    const QByteArray bytes(buffer, int(n));
    if (fromClient && !s.stalled && s.loggedIn) {
        std::lock_guard<std::mutex> lock(mutex);
        // The first statement, or the chosen text; a client that only says goodbye ('X') passes.
        if (stalling && (trigger.isEmpty() ? bytes.at(0) != 'X' : bytes.contains(trigger))) {
            s.stalled = true;
            ++stalled;
            s.frozen = freezing && s.backendPid > 0 && ::kill(s.backendPid, SIGSTOP) == 0;
            if (s.frozen)
                frozenPids.push_back(s.backendPid);
        }
    }
    if (s.stalled && !s.frozen)
        return true; // swallowed: neither side hears anything more
    if (!fromClient) {
        // The server's messages: type, length (itself included), body.
        s.fromServer += bytes;
        while (s.fromServer.size() >= 5) {
            const int length = int(qFromBigEndian<quint32>(s.fromServer.constData() + 1));
            if (s.fromServer.size() < 1 + length)
                break;
            if (s.fromServer.at(0) == 'K')
                s.backendPid = int(qFromBigEndian<quint32>(s.fromServer.constData() + 5));
            else if (s.fromServer.at(0) == 'Z')
                s.loggedIn = true;
            s.fromServer.remove(0, 1 + length);
        }
    }
    return ::write(fromClient ? s.server : s.client, bytes.constData(), bytes.size()) == n;
}

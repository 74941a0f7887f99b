// The line view's logged-in sessions. A token is handed to the browser once;
// only its hash is kept, so the table's contents and its lookup time say
// nothing about a live token.
#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

class Sessions {
public:
    using Clock = std::chrono::system_clock;
    using Now = std::function<Clock::time_point()>;

    struct Session {
        QString user;
        Clock::time_point expiresAt;
    };

    // A session lasts lifetime from its login, however much it is used.
    explicit Sessions(std::chrono::seconds lifetime, Now now = Clock::now);

    // A new session for user: its token, 64 hex characters.
    QByteArray open(const QString &user);
    // The session if token is live; anything else (unknown, expired, closed,
    // malformed) gives none.
    std::optional<Session> find(const QByteArray &token);
    void close(const QByteArray &token);

    std::chrono::seconds lifetime() const { return lifetimeLength; }
    int size() const;

    // Beyond this the oldest session ends.
    static constexpr int maxSessions = 10000;

private:
    struct Entry {
        Session session;
        std::uint64_t serial;
    };

    void purgeExpired(Clock::time_point now);
    void erase(std::unordered_map<std::string, Entry>::iterator it);

    const std::chrono::seconds lifetimeLength;
    const Now now;
    mutable std::mutex mutex;
    std::unordered_map<std::string, Entry> byHash;
    std::map<std::uint64_t, std::string> byAge; // serial (login order) -> hash
    std::uint64_t nextSerial = 0;
};

// Slows down password guessing: per client address, each failed login bars
// the next attempt for a delay that doubles from 1 s up to 60 s; and at most
// two password verifications (about 64 MiB and 50 ms each) run at once.
#pragma once

#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>

class LoginThrottle;

// One client's turn to have one password verified. While it lives it holds
// one of the verification slots and bars other attempts from that client.
class LoginAttempt {
public:
    enum class Refusal { None, TooSoon, Busy };

    LoginAttempt(LoginAttempt &&other) noexcept;
    LoginAttempt &operator=(LoginAttempt &&) = delete;
    ~LoginAttempt();

    bool allowed() const { return refusal == Refusal::None; }
    Refusal refusedBecause() const { return refusal; }
    // For Retry-After when refused.
    std::chrono::seconds retryAfter() const { return wait; }

    // Says how the verification went; an attempt that says neither (the
    // request was bad before any password was tried) changes nothing.
    void succeeded();
    void failed();

private:
    friend class LoginThrottle;
    LoginAttempt(LoginThrottle *owner, std::string key, Refusal refusal, std::chrono::seconds wait);

    LoginThrottle *owner;
    std::string key;
    Refusal refusal;
    std::chrono::seconds wait;
};

class LoginThrottle {
public:
    using Clock = std::chrono::steady_clock;
    using Now = std::function<Clock::time_point()>;

    explicit LoginThrottle(Now now = Clock::now);

    // client: the connection's peer address as text. IPv6 addresses count
    // by their /64 network, which one host usually holds whole.
    // Waits up to slotWait for a verification slot, then answers Busy.
    LoginAttempt attempt(const QString &client, std::chrono::milliseconds slotWait = std::chrono::seconds(2));

    // How long client must wait before its next attempt; 0 if it may try.
    std::chrono::seconds retryAfter(const QString &client);

    static constexpr std::chrono::seconds firstDelay{1};
    static constexpr std::chrono::seconds longestDelay{60};
    // An address that has not failed for this long starts again at firstDelay.
    static constexpr std::chrono::hours forgetAfter{1};
    static constexpr int maxClients = 100000;
    static constexpr int maxVerifications = 2;

private:
    friend class LoginAttempt;

    struct Client {
        Clock::duration delay{};
        Clock::time_point lastFailure;
        std::uint64_t serial = 0; // its place in byLastFailure
    };

    static std::string keyOf(const QString &client);
    std::chrono::seconds waitLocked(const std::string &key, Clock::time_point at);
    void purgeLocked(Clock::time_point at);
    void forgetLocked(std::unordered_map<std::string, Client>::iterator client);
    void recordFailureLocked(const std::string &key, Clock::time_point at);
    enum class Outcome { NotTried, Succeeded, Failed };
    void finish(const std::string &key, Outcome outcome);

    const Now now;
    std::mutex mutex;
    std::condition_variable slotFreed;
    int verificationsRunning = 0;
    std::unordered_map<std::string, Client> clients; // those that failed
    std::unordered_set<std::string> verifying;
    std::map<std::uint64_t, std::string> byLastFailure;
    std::uint64_t nextSerial = 0;
};

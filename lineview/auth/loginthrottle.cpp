#include "loginthrottle.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include <arpa/inet.h>

using namespace std::chrono_literals;

LoginAttempt::LoginAttempt(LoginThrottle *owner, std::string key, Refusal refusal, std::chrono::seconds wait)
    : owner(owner), key(std::move(key)), refusal(refusal), wait(wait)
{
}

LoginAttempt::LoginAttempt(LoginAttempt &&other) noexcept
    : owner(std::exchange(other.owner, nullptr)), key(std::move(other.key)), refusal(other.refusal), wait(other.wait)
{
}

LoginAttempt::~LoginAttempt()
{
    if (owner)
        owner->finish(key, LoginThrottle::Outcome::NotTried);
}

void LoginAttempt::succeeded()
{
    if (owner)
        std::exchange(owner, nullptr)->finish(key, LoginThrottle::Outcome::Succeeded);
}

void LoginAttempt::failed()
{
    if (owner)
        std::exchange(owner, nullptr)->finish(key, LoginThrottle::Outcome::Failed);
}

LoginThrottle::LoginThrottle(Now now) : now(std::move(now)) {}

LoginAttempt LoginThrottle::attempt(const QString &client, std::chrono::milliseconds slotWait)
{
    const std::string key = keyOf(client);
    std::unique_lock<std::mutex> lock(mutex);
    const Clock::time_point at = now();
    purgeLocked(at);
    if (const std::chrono::seconds wait = waitLocked(key, at); wait > 0s)
        return LoginAttempt(nullptr, key, LoginAttempt::Refusal::TooSoon, wait);
    // A second request racing the first would get round the wait.
    if (!verifying.insert(key).second)
        return LoginAttempt(nullptr, key, LoginAttempt::Refusal::TooSoon, firstDelay);
    if (!slotFreed.wait_for(lock, slotWait, [this] { return verificationsRunning < maxVerifications; })) {
        verifying.erase(key);
        return LoginAttempt(nullptr, key, LoginAttempt::Refusal::Busy, 1s);
    }
    ++verificationsRunning;
    return LoginAttempt(this, key, LoginAttempt::Refusal::None, 0s);
}

std::chrono::seconds LoginThrottle::retryAfter(const QString &client)
{
    const std::string key = keyOf(client);
    const std::lock_guard<std::mutex> lock(mutex);
    const Clock::time_point at = now();
    purgeLocked(at);
    return waitLocked(key, at);
}

std::string LoginThrottle::keyOf(const QString &client)
{
    const QByteArray text = client.toUtf8();
    char canonical[INET6_ADDRSTRLEN] = {};
    in_addr v4{};
    in6_addr v6{};
    if (inet_pton(AF_INET, text.constData(), &v4) == 1)
        return inet_ntop(AF_INET, &v4, canonical, sizeof canonical);
    if (inet_pton(AF_INET6, text.constData(), &v6) != 1)
        return text.toStdString(); // not an address: taken as it is
    if (IN6_IS_ADDR_V4MAPPED(&v6)) {
        std::memcpy(&v4, v6.s6_addr + 12, sizeof v4);
        return inet_ntop(AF_INET, &v4, canonical, sizeof canonical);
    }
    std::memset(v6.s6_addr + 8, 0, 8);
    return std::string(inet_ntop(AF_INET6, &v6, canonical, sizeof canonical)) + "/64";
}

std::chrono::seconds LoginThrottle::waitLocked(const std::string &key, Clock::time_point at)
{
    const auto client = clients.find(key);
    if (client == clients.end())
        return 0s;
    const Clock::duration left = client->second.lastFailure + client->second.delay - at;
    return left > Clock::duration::zero() ? std::chrono::ceil<std::chrono::seconds>(left) : 0s;
}

void LoginThrottle::purgeLocked(Clock::time_point at)
{
    while (!byLastFailure.empty()) {
        const auto oldest = clients.find(byLastFailure.begin()->second);
        if (at - oldest->second.lastFailure < forgetAfter)
            break;
        forgetLocked(oldest);
    }
}

void LoginThrottle::forgetLocked(std::unordered_map<std::string, Client>::iterator client)
{
    byLastFailure.erase(client->second.serial);
    clients.erase(client);
}

void LoginThrottle::recordFailureLocked(const std::string &key, Clock::time_point at)
{
    purgeLocked(at);
    auto client = clients.find(key);
    if (client == clients.end()) {
        while (clients.size() >= maxClients)
            forgetLocked(clients.find(byLastFailure.begin()->second));
        client = clients.emplace(key, Client{}).first;
    } else {
        byLastFailure.erase(client->second.serial);
    }
    Client &failing = client->second;
    failing.delay = failing.delay == Clock::duration::zero()
        ? Clock::duration(firstDelay)
        : std::min<Clock::duration>(2 * failing.delay, longestDelay);
    failing.lastFailure = at;
    failing.serial = nextSerial++;
    byLastFailure.emplace(failing.serial, key);
}

void LoginThrottle::finish(const std::string &key, Outcome outcome)
{
    const std::lock_guard<std::mutex> lock(mutex);
    verifying.erase(key);
    --verificationsRunning;
    slotFreed.notify_one();
    if (outcome == Outcome::Failed) {
        recordFailureLocked(key, now());
    } else if (outcome == Outcome::Succeeded) {
        if (const auto client = clients.find(key); client != clients.end())
            forgetLocked(client);
    }
}

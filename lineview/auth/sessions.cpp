#include "sessions.h"

#include "sodiumready.h"

#include <sodium.h>

namespace {

constexpr int tokenBytes = 32;

std::string hashOf(const QByteArray &token)
{
    std::string hash(crypto_generichash_BYTES, '\0');
    crypto_generichash(reinterpret_cast<unsigned char *>(hash.data()), hash.size(),
                       reinterpret_cast<const unsigned char *>(token.constData()),
                       static_cast<unsigned long long>(token.size()), nullptr, 0);
    return hash;
}

} // namespace

Sessions::Sessions(std::chrono::seconds lifetime, Now now) : lifetimeLength(lifetime), now(std::move(now))
{
    ensureSodiumReady();
}

QByteArray Sessions::open(const QString &user)
{
    unsigned char secret[tokenBytes];
    randombytes_buf(secret, sizeof secret);
    const QByteArray token = QByteArray(reinterpret_cast<const char *>(secret), sizeof secret).toHex();
    sodium_memzero(secret, sizeof secret);
    const std::string hash = hashOf(token);
    const Clock::time_point at = now();

    const std::lock_guard<std::mutex> lock(mutex);
    purgeExpired(at);
    while (byHash.size() >= maxSessions)
        erase(byHash.find(byAge.begin()->second));
    byAge.emplace(nextSerial, hash);
    byHash.emplace(hash, Entry{{user, at + lifetimeLength}, nextSerial});
    ++nextSerial;
    return token;
}

std::optional<Sessions::Session> Sessions::find(const QByteArray &token)
{
    if (token.size() != 2 * tokenBytes)
        return std::nullopt;
    const std::string hash = hashOf(token);
    const Clock::time_point at = now();

    const std::lock_guard<std::mutex> lock(mutex);
    purgeExpired(at);
    const auto entry = byHash.find(hash);
    if (entry == byHash.end())
        return std::nullopt;
    if (entry->second.session.expiresAt <= at) { // behind a younger one if the clock went back
        erase(entry);
        return std::nullopt;
    }
    return entry->second.session;
}

void Sessions::close(const QByteArray &token)
{
    const std::string hash = hashOf(token);
    const std::lock_guard<std::mutex> lock(mutex);
    const auto entry = byHash.find(hash);
    if (entry != byHash.end())
        erase(entry);
}

int Sessions::size() const
{
    const std::lock_guard<std::mutex> lock(mutex);
    return int(byHash.size());
}

void Sessions::purgeExpired(Clock::time_point at)
{
    // Logins in order of time, all with one lifetime: the oldest ends first.
    while (!byAge.empty()) {
        const auto oldest = byHash.find(byAge.begin()->second);
        if (oldest->second.session.expiresAt > at)
            break;
        erase(oldest);
    }
}

void Sessions::erase(std::unordered_map<std::string, Entry>::iterator entry)
{
    byAge.erase(entry->second.serial);
    byHash.erase(entry);
}

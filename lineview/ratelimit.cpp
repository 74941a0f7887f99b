#include "ratelimit.h"

#include <algorithm>

namespace {

constexpr size_t kMaxAddresses = 100000;

} // namespace

RateLimit::RateLimit(double perSecond, double burst) : perSecond(perSecond), burst(burst) {}

bool RateLimit::take(const std::string &address)
{
    const auto now = clock();
    std::lock_guard<std::mutex> lock(mutex);
    if (buckets.size() >= kMaxAddresses && !buckets.count(address)) {
        // Full buckets tell nothing: forget them before anyone still limited.
        for (auto it = buckets.begin(); it != buckets.end();) {
            const double seconds = std::chrono::duration<double>(now - it->second.filled).count();
            it = it->second.tokens + seconds * perSecond >= burst ? buckets.erase(it) : std::next(it);
        }
        if (buckets.size() >= kMaxAddresses)
            return false;
    }
    auto [it, added] = buckets.try_emplace(address, Bucket{burst, now});
    Bucket &b = it->second;
    const double seconds = std::chrono::duration<double>(now - b.filled).count();
    b.tokens = std::min(burst, b.tokens + seconds * perSecond);
    b.filled = now;
    if (b.tokens < 1.0)
        return false;
    b.tokens -= 1.0;
    return true;
}

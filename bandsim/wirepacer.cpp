#include "wirepacer.h"

#include <algorithm>

namespace bandsim {

namespace {

// Output that has waited longer than this (a client that did not read, a
// slow wake-up) does not go out as one catch-up burst.
constexpr std::chrono::milliseconds kMaxCatchUp{20};

} // namespace

WirePacer::Steady::time_point WirePacer::wireStart(Steady::time_point readyAt, Steady::time_point now) const
{
    // Back-to-back output continues where the wire left off.
    return std::max({wireFreeAt, readyAt, now - kMaxCatchUp});
}

size_t WirePacer::bytesDue(Steady::time_point readyAt, Steady::time_point now) const
{
    const auto start = wireStart(readyAt, now);
    return now <= start ? 0 : size_t((now - start) / kByteTime);
}

WirePacer::Steady::time_point WirePacer::dueTime(Steady::time_point readyAt, size_t count,
                                                 Steady::time_point now) const
{
    return wireStart(readyAt, now) + timeFor(count);
}

void WirePacer::sent(Steady::time_point readyAt, size_t count, Steady::time_point now)
{
    wireFreeAt = wireStart(readyAt, now) + timeFor(count);
}

} // namespace bandsim

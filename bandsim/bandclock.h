// The band's clock: runs on from the time last set.
#pragma once

#include <bandlink.h>

#include <chrono>
#include <cstdint>

namespace bandsim {

class BandClock {
public:
    using Steady = std::chrono::steady_clock;

    // Starts at 2015-01-01 00:00:00.
    explicit BandClock(Steady::time_point now);

    // True when every field is in range (including the day of the month).
    static bool isValid(const sb_time_t &time);

    void set(const sb_time_t &time, Steady::time_point now);
    // From now on the clock shows the time last set instead of running on.
    void stop() { running = false; }
    sb_time_t read(Steady::time_point now) const;
    // Seconds since 2000-01-01 00:00:00 on the band's clock.
    int64_t secondsSince2000(Steady::time_point now) const;

private:
    int64_t secondsAtSet;
    Steady::time_point setAt;
    bool running = true;
};

// Calendar conversions, dates as the band stores them.
int64_t toSecondsSince2000(const sb_time_t &time);
sb_time_t fromSecondsSince2000(int64_t seconds);

} // namespace bandsim

// Keeps the band's output to the pace of a 115200 bit/s wire.
#pragma once

#include <chrono>
#include <cstddef>

namespace bandsim {

class WirePacer {
public:
    using Steady = std::chrono::steady_clock;

    // Ten bits a byte (start, eight data, stop), rounded up so no byte is early.
    static constexpr std::chrono::nanoseconds kByteTime{86806};

    static std::chrono::nanoseconds timeFor(size_t bytes) { return kByteTime * static_cast<long long>(bytes); }

    // Bytes that may have left by `now`, for output that was ready at readyAt.
    size_t bytesDue(Steady::time_point readyAt, Steady::time_point now) const;
    // When `count` bytes of that output will have been due.
    Steady::time_point dueTime(Steady::time_point readyAt, size_t count, Steady::time_point now) const;
    void sent(Steady::time_point readyAt, size_t count, Steady::time_point now);

private:
    Steady::time_point wireStart(Steady::time_point readyAt, Steady::time_point now) const;

    Steady::time_point wireFreeAt{}; // when the last byte sent has crossed the wire
};

} // namespace bandsim

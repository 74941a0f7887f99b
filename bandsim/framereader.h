// Cuts the PC's command frames out of the byte stream the band receives.
#pragma once

#include "frame.h"

#include <chrono>

namespace bandsim {

class FrameReader {
public:
    using Clock = std::chrono::steady_clock;

    // A partial frame that sees no new byte for this long is dropped, so a
    // garbled length byte cannot leave the band deaf to the next command.
    static constexpr std::chrono::milliseconds kStaleAfter{500};

    // Bytes that arrived at `now`; returns the wire images of the command
    // frames they completed, oldest first (check byte not yet verified).
    std::vector<Bytes> feed(const uint8_t *data, size_t count, Clock::time_point now);

private:
    Bytes pending;
    Clock::time_point lastByteAt;
};

bool hasValidCheckByte(const Bytes &wire);
// The frame a complete wire image carries.
Frame decodeFrame(const Bytes &wire);

} // namespace bandsim

// One frame of the band's protocol and its wire image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bandsim {

using Bytes = std::vector<uint8_t>;

struct Frame {
    uint8_t opcode = 0;
    uint8_t item = 0;
    Bytes payload; // at most 255 bytes
};

// Exclusive-or of the length byte and every payload byte.
uint8_t checkByte(const uint8_t *lenAndPayload, size_t count);

// AA <opcode> <item> FF <bcc> <len> <payload>
Bytes encodeFrame(const Frame &frame);

} // namespace bandsim

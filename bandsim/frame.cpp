#include "frame.h"

#include <bandlink.h>

namespace bandsim {

uint8_t checkByte(const uint8_t *lenAndPayload, size_t count)
{
    uint8_t bcc = 0;
    for (size_t i = 0; i < count; ++i)
        bcc ^= lenAndPayload[i];
    return bcc;
}

Bytes encodeFrame(const Frame &frame)
{
    const size_t len = frame.payload.size() > 255 ? 255 : frame.payload.size();
    Bytes wire;
    wire.reserve(SB_HEAD_SIZE + len);
    wire.push_back(SB_HEADER);
    wire.push_back(frame.opcode);
    wire.push_back(frame.item);
    wire.push_back(0xFF);
    wire.push_back(0); // check byte, filled below
    wire.push_back(static_cast<uint8_t>(len));
    wire.insert(wire.end(), frame.payload.begin(), frame.payload.begin() + len);
    wire[4] = checkByte(wire.data() + 5, len + 1);
    return wire;
}

} // namespace bandsim

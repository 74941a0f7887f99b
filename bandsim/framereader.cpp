#include "framereader.h"

#include <bandlink.h>

#include <algorithm>

namespace bandsim {

namespace {

bool isCommandOpcode(uint8_t opcode)
{
    return opcode == SB_OP_READ || opcode == SB_OP_WRITE;
}

} // namespace

std::vector<Bytes> FrameReader::feed(const uint8_t *data, size_t count, Clock::time_point now)
{
    if (!pending.empty() && now - lastByteAt > kStaleAfter)
        pending.clear();
    if (count > 0)
        lastByteAt = now;
    pending.insert(pending.end(), data, data + count);

    std::vector<Bytes> frames;
    for (;;) {
        // Resync: a frame starts at 0xAA followed by a command opcode.
        auto start = std::find(pending.begin(), pending.end(), uint8_t(SB_HEADER));
        pending.erase(pending.begin(), start);
        if (pending.size() >= 2 && !isCommandOpcode(pending[1])) {
            pending.erase(pending.begin());
            continue;
        }
        if (pending.size() < SB_HEAD_SIZE)
            break;
        const size_t frameSize = SB_HEAD_SIZE + pending[5];
        if (pending.size() < frameSize)
            break;
        frames.emplace_back(pending.begin(), pending.begin() + frameSize);
        pending.erase(pending.begin(), pending.begin() + frameSize);
    }
    return frames;
}

bool hasValidCheckByte(const Bytes &wire)
{
    return wire.size() >= SB_HEAD_SIZE && wire.size() == SB_HEAD_SIZE + size_t(wire[5])
           && checkByte(wire.data() + 5, wire.size() - 5) == wire[4];
}

Frame decodeFrame(const Bytes &wire)
{
    Frame frame;
    if (wire.size() < SB_HEAD_SIZE)
        return frame;
    frame.opcode = wire[1];
    frame.item = wire[2];
    frame.payload.assign(wire.begin() + SB_HEAD_SIZE, wire.end());
    return frame;
}

} // namespace bandsim

#include "replyshape.h"

#include <bandlink.h>

namespace bandsim {

namespace {

Bytes strayBytes(int count)
{
    static const uint8_t pattern[] = {0x00, 0x55, 0xFF, 0x13};
    Bytes bytes;
    for (int i = 0; i < count; ++i)
        bytes.push_back(pattern[i % sizeof(pattern)]);
    return bytes;
}

} // namespace

std::vector<OutputPiece> shapeReply(const Frame &reply, Fault fault, int strayByteCount)
{
    switch (fault) {
    case Fault::LateAnswer:
        return {{encodeFrame(reply), kLateAnswerDelay}};
    case Fault::StrayBytes: {
        Bytes bytes = strayBytes(strayByteCount);
        const Bytes frame = encodeFrame(reply);
        bytes.insert(bytes.end(), frame.begin(), frame.end());
        return {{bytes}};
    }
    case Fault::WrongCheckByte: {
        Bytes frame = encodeFrame(reply);
        frame[4] ^= 0x01;
        return {{frame}};
    }
    case Fault::PayloadInPieces: {
        const Bytes frame = encodeFrame(reply);
        const size_t split = SB_HEAD_SIZE + reply.payload.size() / 2;
        return {{Bytes(frame.begin(), frame.begin() + split)},
                {Bytes(frame.begin() + split, frame.end()), kPiecePause}};
    }
    case Fault::WrongLength: {
        Frame shorter = reply;
        if (!shorter.payload.empty())
            shorter.payload.pop_back();
        return {{encodeFrame(shorter)}};
    }
    default:
        return {{encodeFrame(reply)}};
    }
}

} // namespace bandsim

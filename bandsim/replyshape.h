// How a reply goes out on the wire under a fault that bends its shape or
// timing (the faults that change the band's state are the band's own).
#pragma once

#include "frame.h"

#include <bandsim/virtualband.h>

#include <chrono>

namespace bandsim {

constexpr std::chrono::milliseconds kLateAnswerDelay{1200}; // receivers give up after about 0.8 s
constexpr std::chrono::milliseconds kPiecePause{60};

struct OutputPiece {
    Bytes bytes;
    std::chrono::milliseconds pauseBefore{0};
};

std::vector<OutputPiece> shapeReply(const Frame &reply, Fault fault, int strayByteCount);

} // namespace bandsim

// What the layers use of each other beyond the exported functions.
#pragma once

#include "bandlink.h"

namespace bandlink {

// Throws away whatever has arrived on the open port and not been read.
void dropInput();

// Receives one frame as sb_recv_evt does, but takes its frame-start reads
// from startReads, so that the frames skipped while hunting for one reply
// share a single budget.
bool receiveFrame(sb_cmd_t *evt, uint8_t tries, int &startReads);

} // namespace bandlink

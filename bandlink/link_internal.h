// What the layers use of each other beyond the exported functions.
#pragma once

#include "bandlink.h"

#include <chrono>

namespace bandlink {

using Deadline = std::chrono::steady_clock::time_point;

// A transfer of n bytes may take 10 ms a byte plus 100 ms.
constexpr int64_t kByteTimeoutMs = 10;
constexpr int64_t kTransferTimeoutMs = 100;

// Throws away whatever has arrived on the open port and not been read.
void dropInput();

// Reads up to n bytes as uart_recv does, but never waits past deadline.
int32_t receiveBy(uint8_t *buf, int32_t n, Deadline deadline);

// Receives one frame as sb_recv_evt does, but takes its frame-start reads
// from startReads, so that the frames skipped while hunting for one reply
// share a single budget, and gives up at deadline whatever the band sends.
bool receiveFrame(sb_cmd_t *evt, uint8_t tries, int &startReads, Deadline deadline);

} // namespace bandlink

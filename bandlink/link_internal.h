// What the layers use of each other beyond the exported functions. Each
// works on the link it is given; the exported functions without a handle
// pass the process-wide one.
#pragma once

#include "bandlink.h"
#include "link_state.h"

#include <chrono>

namespace bandlink {

using Deadline = std::chrono::steady_clock::time_point;

// A transfer of n bytes may take 10 ms a byte plus 100 ms.
constexpr int64_t kByteTimeoutMs = 10;
constexpr int64_t kTransferTimeoutMs = 100;

// Serial layer.
// The device of port n: the path bound to it, or its default device (which
// is written to buffer).
using PortPath = char[32];
const char *portDevicePath(uint8_t port, PortPath &buffer);
bool openPort(sb_link &link, const char *path); // closes what was open first
void closePort(sb_link &link);
bool setLine(sb_link &link, int32_t rate, int32_t dataBits, int32_t stopBits, char parity);
int32_t sendBytes(sb_link &link, const uint8_t *buf, int32_t n);
// Reads up to n bytes as uart_recv does, but never waits past deadline.
int32_t receiveBy(sb_link &link, uint8_t *buf, int32_t n, Deadline deadline);
// Throws away whatever has arrived on the open port and not been read.
void dropInput(sb_link &link);

// Frame layer.
// Opens the port at 115200 bits per second, 8 data bits, no parity, one stop
// bit; a port that would not take that is closed again.
bool openLink(sb_link &link, const char *path);
void closeLink(sb_link &link);
bool sendFrame(sb_link &link, sb_cmd_t *cmd);
// Receives one frame as sb_recv_evt does, but takes its frame-start reads
// from startReads, so that the frames skipped while hunting for one reply
// share a single budget, and gives up at deadline whatever the band sends.
bool receiveFrame(sb_link &link, sb_cmd_t *evt, uint8_t tries, int &startReads, Deadline deadline);
// From now, what a silent band gets (every one of the tries + 1 frame-start
// reads in vain), then a frame with payloadLength bytes at the per-byte
// timeout: whatever the band sends, a receive gives up by then.
Deadline frameDeadline(uint8_t tries, uint8_t payloadLength);
bool receiveFrame(sb_link &link, sb_cmd_t *evt, uint8_t tries);

// Trace layer: the blocks of sb_dbg_cmd and sb_dbg_evt, each after a line
// naming the link's band when the link has a name.
void traceCommand(const sb_link &link, const sb_cmd_t *cmd);
void traceEvent(const sb_link &link, const sb_cmd_t *evt);

} // namespace bandlink

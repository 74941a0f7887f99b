// The band's end of the cable, which the client opens as a serial port: a
// pseudo-terminal (its slave is the client's device) on POSIX systems, a
// named pipe (\\.\pipe\…, opened like a port) on Windows. The port service
// drives it through these few calls, the same on both.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace bandsim {

#ifdef _WIN32
struct PipeState;
struct BandEnd {
    std::shared_ptr<PipeState> pipe; // overlapped I/O state, shared by copies
    std::string clientPath;
};
using WakeUp = void *; // a manual-reset event
inline const WakeUp kNoWakeUp = nullptr;
#else
struct BandEnd {
    int master = -1; // non-blocking
    // Held open by the band (never read) so the master does not see a
    // hang-up while no client has the port open.
    int slave = -1;
    std::string clientPath;
};
using WakeUp = int; // an eventfd
constexpr WakeUp kNoWakeUp = -1;
#endif

// Raw, nothing echoed or translated. False (with nothing left open) on failure.
bool openBandEnd(BandEnd &end);
void closeBandEnd(BandEnd &end);

// Without blocking: bytes moved (0 when none can move now), or -1 when the
// band's end itself failed.
long readBandEnd(BandEnd &end, uint8_t *buffer, size_t size);
long writeBandEnd(BandEnd &end, const uint8_t *data, size_t size);

struct Readiness {
    bool woken = false;
    bool readable = false;
    bool writable = false;
};
// Waits until the wanted direction is ready, the wake-up is signalled, or
// the timeout (none: no limit) has passed. False when the wait itself failed.
bool waitBandEnd(BandEnd &end, WakeUp wake, bool wantRead, bool wantWrite,
                 const std::chrono::nanoseconds *timeout, Readiness *ready);

// Bytes written by the band that the client has not read yet, where the
// system can tell (a pseudo-terminal); 0 where it cannot (a pipe).
int bytesWaitingForClient(const BandEnd &end);

// Wakes the band's thread from another one.
WakeUp openWakeUp();
bool isOpen(WakeUp wake);
void signalWakeUp(WakeUp wake);
void drainWakeUp(WakeUp wake);
// True when signalled within the time.
bool waitForWakeUp(WakeUp wake, std::chrono::milliseconds timeout);
void closeWakeUp(WakeUp &wake);

} // namespace bandsim

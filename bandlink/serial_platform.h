// The few operating-system calls the serial layer needs. Everything that is
// the same on every system (which rates, which framings, the timeout rule)
// stays in serial.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bandlink {

#ifdef _WIN32
using SerialHandle = void *; // a Windows HANDLE
inline const SerialHandle kInvalidHandle = reinterpret_cast<void *>(intptr_t(-1));
#else
using SerialHandle = int;
constexpr SerialHandle kInvalidHandle = -1;
#endif

enum class Parity { None, Odd, Even };

// The device of port n when none is bound: /dev/ttyACMn, or \\.\COMn.
void platformDefaultPath(uint8_t port, char *path, size_t size);

// Opens the device for exclusive use in raw mode and empties its queues.
// kInvalidHandle when it is absent, busy or cannot be prepared.
SerialHandle platformOpen(const char *path);
void platformClose(SerialHandle handle);

// Move up to n bytes, returning as soon as all are through, when timeoutMs
// has passed since the call began, or when the device has gone.
int32_t platformRead(SerialHandle handle, uint8_t *buf, int32_t n, int64_t timeoutMs);
int32_t platformWrite(SerialHandle handle, const uint8_t *buf, int32_t n, int64_t timeoutMs);
// Throws away what has arrived and not been read yet.
void platformDropInput(SerialHandle handle);

// Read the device's settings, change only the named fields, write them back.
// rate is one of the rates the serial layer accepts.
bool platformSetSpeed(SerialHandle handle, int32_t rate);
// Empties both queues before writing, as a change of framing garbles
// whatever was in flight.
bool platformSetFraming(SerialHandle handle, int dataBits, Parity parity, bool twoStopBits);

} // namespace bandlink

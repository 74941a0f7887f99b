// Everything the library remembers between calls: one port per process.
#pragma once

#include "serial_platform.h"

#include <cstddef>

namespace bandlink {

constexpr size_t kPortCount = 256;
constexpr size_t kMaxPathLength = 255;

struct LinkState {
    SerialHandle handle = kInvalidHandle;
    bool portOpen = false;
    bool linkOpen = false;
    // Device path bound to each port number; empty means the default device.
    char boundPath[kPortCount][kMaxPathLength + 1] = {};
};

LinkState &linkState();

} // namespace bandlink

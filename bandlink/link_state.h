// What a link remembers between calls, and the process-wide state behind
// the functions without a handle.
#pragma once

#include "serial_platform.h"

#include <cstddef>

// One band's link: its port and whether the link is open. The process-wide
// functions use one of these; sb_link_open makes more, each named by its
// device so that its trace says which band it is.
struct sb_link {
    bandlink::SerialHandle handle = bandlink::kInvalidHandle;
    bool portOpen = false;
    bool linkOpen = false;
    char name[256] = {}; // empty for the process-wide link
};

namespace bandlink {

constexpr size_t kPortCount = 256;
constexpr size_t kMaxPathLength = 255;

struct LinkState {
    sb_link link;
    // Device path bound to each port number; empty means the default device.
    char boundPath[kPortCount][kMaxPathLength + 1] = {};
};

LinkState &linkState();

// The link of the process-wide functions.
inline sb_link *defaultLink()
{
    return &linkState().link;
}

} // namespace bandlink

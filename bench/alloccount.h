// Counts heap allocations made by the calling thread while counting is on.
#pragma once

#include <cstdint>

namespace alloccount {

bool available();
void start();
// Allocations since start() on this thread.
uint64_t stop();

} // namespace alloccount

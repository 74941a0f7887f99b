// Small pieces the benchmarks share: the monotonic clock, percentiles, and
// running a child process to time it and read its peak memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// CLOCK_MONOTONIC in nanoseconds; the same clock in every process.
int64_t monotonicNs();

// argv[index] as a count of at least 1, or fallback when it is not given.
int countArgument(int argc, char **argv, int index, int fallback);

// fraction 0.5 = median; nearest rank.
double percentile(std::vector<double> values, double fraction);

struct ChildResult {
    bool started = false;
    int exitStatus = -1;    // -1 when the child did not exit normally
    double elapsedMs = 0;   // from just before the spawn to the reaped exit
    double maxRssMiB = 0;   // the child's peak resident memory
    double cpuMs = 0;       // the child's user + system time
    int64_t spawnNs = 0;    // monotonicNs() just before the spawn
    std::string output;     // its standard output; standard error is dropped
};

// Runs argv[0] (a path) with argv; the child inherits the working folder
// and the environment.
ChildResult runChild(const std::vector<std::string> &argv);

} // namespace bench

// The band's state as both the band's thread and its owner see it.
#pragma once

#include "bandstate.h"

#include <array>
#include <cstddef>
#include <mutex>
#include <vector>

namespace bandsim {

struct SharedBand {
    // A band left running for days keeps only the most recent commands.
    static constexpr size_t kCommandsKept = 100000;

    explicit SharedBand(BandClock::Steady::time_point now) : state(now) {}

    void recordCommands(const std::vector<Bytes> &frames)
    {
        commandsReceived.insert(commandsReceived.end(), frames.begin(), frames.end());
        if (commandsReceived.size() > kCommandsKept)
            commandsReceived.erase(commandsReceived.begin(),
                                   commandsReceived.end() - std::ptrdiff_t(kCommandsKept));
    }

    mutable std::mutex mutex; // guards every member below
    BandState state;
    std::array<Fault, 256> faults{}; // by item code; Fault::None when not set
    std::vector<Bytes> commandsReceived;
};

} // namespace bandsim

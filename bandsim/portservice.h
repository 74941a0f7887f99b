// The band's side of the wire for as long as it is plugged in: reads
// commands, answers them, and sends its event streams.
#pragma once

#include "framereader.h"
#include "outputqueue.h"
#include "bandend.h"
#include "sharedband.h"
#include "wirepacer.h"

#include <atomic>
#include <deque>
#include <optional>

namespace bandsim {

enum class DropReason {
    Unplugged,   // the owner asked
    Restart,     // reset command
    Upgrade,     // upgrade command
    CablePulled, // Fault::DropsOffAfterAnswer
    PortFailed   // the band's end of the cable itself failed
};

class PortService {
public:
    using Steady = std::chrono::steady_clock;

    PortService(SharedBand &band, const Options &options, BandEnd &end, WakeUp wake);

    // Serves until the band drops off its port; checks stopRequested after
    // every wake-up.
    DropReason run(const std::atomic<bool> &stopRequested);

private:
    struct PendingCommand {
        Steady::time_point actAt;
        Bytes wire;
    };
    enum class WriteResult { Done, DropOff, Failed };

    bool readCommands(Steady::time_point now);
    std::optional<DropReason> actOnDueCommands(Steady::time_point now);
    std::optional<DropReason> act(const Bytes &wire, Steady::time_point now);
    void queueReply(const Frame &reply, Fault fault, Steady::time_point now);
    void feedStreams(Steady::time_point now);
    bool wantsToWrite(Steady::time_point now) const;
    std::optional<Steady::time_point> nextWakeUp(Steady::time_point now) const;
    WriteResult writeDue(Steady::time_point now);
    DropReason waitForClientToRead(const std::atomic<bool> &stopRequested);

    SharedBand &band;
    const Options options;
    BandEnd &end;
    const WakeUp wake;

    FrameReader reader;
    std::deque<PendingCommand> pendingCommands;
    OutputQueue output;
    WirePacer pacer;
    bool minStatStreaming = false;
    Steady::time_point nextMinStatAt;
    bool uploading = false;
};

} // namespace bandsim

#include "portservice.h"

#include "replyshape.h"

#include <bandlink.h>


namespace bandsim {

namespace {

// Paced output goes out in chunks of this many bytes, each written once all
// of its bytes are due: small enough to stay close to the wire, large
// enough not to wake up for every byte.
constexpr size_t kPacedChunk = 8;

// Upload events are made only while less than this is waiting, so the
// stream runs as fast as the client takes it and never piles up.
constexpr size_t kUploadLowWater = 512;

// A client that sends commands without ever reading the answers gets no
// more commands read (its writes then block) once this much is waiting,
// since replies are never dropped.
constexpr size_t kStopReadingAbove = 64 * 1024;

// How long a band that drops off after answering waits for the client to
// take the answer: closing the master throws away what the client has not
// read yet.
constexpr std::chrono::milliseconds kArrivalTimeout{100};
constexpr std::chrono::milliseconds kDrainTimeout{1000};
constexpr std::chrono::milliseconds kDrainCheck{5};

} // namespace

PortService::PortService(SharedBand &band, const Options &options, BandEnd &end, WakeUp wake)
    : band(band), options(options), end(end), wake(wake)
{
}

DropReason PortService::run(const std::atomic<bool> &stopRequested)
{
    for (;;) {
        if (stopRequested)
            return DropReason::Unplugged;
        Steady::time_point now = Steady::now();
        if (auto reason = actOnDueCommands(now))
            return *reason;
        feedStreams(now);

        const auto wakeUp = nextWakeUp(now);
        const std::chrono::nanoseconds timeout = wakeUp ? *wakeUp - now : std::chrono::nanoseconds(0);
        Readiness ready;
        if (!waitBandEnd(end, wake, output.pendingBytes() < kStopReadingAbove, wantsToWrite(now),
                         wakeUp ? &timeout : nullptr, &ready))
            return DropReason::PortFailed;

        if (ready.woken)
            drainWakeUp(wake);
        now = Steady::now();
        if (ready.readable && !readCommands(now))
            return DropReason::PortFailed;
        if (ready.writable) {
            switch (writeDue(now)) {
            case WriteResult::Done: break;
            case WriteResult::DropOff: return waitForClientToRead(stopRequested);
            case WriteResult::Failed: return DropReason::PortFailed;
            }
        }
    }
}

bool PortService::readCommands(Steady::time_point now)
{
    uint8_t buffer[512];
    for (;;) {
        const long count = readBandEnd(end, buffer, sizeof buffer);
        if (count == 0)
            return true;
        if (count < 0)
            return false;

        const std::vector<Bytes> frames = reader.feed(buffer, size_t(count), now);
        if (frames.empty())
            continue;
        {
            std::lock_guard<std::mutex> lock(band.mutex);
            band.recordCommands(frames);
        }
        for (const Bytes &wire : frames) {
            // A paced band sees a command only once its bytes have crossed the wire.
            const auto actAt = options.paced ? now + WirePacer::timeFor(wire.size()) : now;
            pendingCommands.push_back({actAt, wire});
        }
    }
}

std::optional<DropReason> PortService::actOnDueCommands(Steady::time_point now)
{
    while (!pendingCommands.empty() && pendingCommands.front().actAt <= now) {
        const Bytes wire = std::move(pendingCommands.front().wire);
        pendingCommands.pop_front();
        if (auto reason = act(wire, now))
            return reason;
    }
    return std::nullopt;
}

std::optional<DropReason> PortService::act(const Bytes &wire, Steady::time_point now)
{
    if (!hasValidCheckByte(wire))
        return std::nullopt; // the band ignores a garbled command
    const Frame command = decodeFrame(wire);
    Fault fault;
    CommandOutcome outcome;
    {
        std::lock_guard<std::mutex> lock(band.mutex);
        fault = band.faults[command.item];
        outcome = band.state.handle(command, fault, now);
    }
    if (outcome.ignored)
        return std::nullopt;
    if (outcome.reply)
        queueReply(*outcome.reply, fault, now);

    using Effect = CommandOutcome::Effect;
    switch (outcome.effect) {
    case Effect::None: break;
    case Effect::StartMinStat:
        minStatStreaming = true;
        nextMinStatAt = now + std::chrono::milliseconds(options.minStatIntervalMs);
        break;
    case Effect::StartUpload: uploading = true; break;
    case Effect::StopUpload: uploading = false; break;
    case Effect::Restart: return DropReason::Restart;
    case Effect::Upgrade: return DropReason::Upgrade;
    }
    if (fault == Fault::DropsOffAfterAnswer && !outcome.reply)
        return DropReason::CablePulled;
    return std::nullopt;
}

void PortService::queueReply(const Frame &reply, Fault fault, Steady::time_point now)
{
    std::vector<OutputPiece> pieces = shapeReply(reply, fault, options.strayByteCount);
    for (size_t i = 0; i < pieces.size(); ++i) {
        OutputQueue::Entry entry;
        entry.bytes = std::move(pieces[i].bytes);
        entry.pauseBefore = pieces[i].pauseBefore;
        entry.dropOffAfter = fault == Fault::DropsOffAfterAnswer && i + 1 == pieces.size();
        output.push(std::move(entry), now);
    }
}

void PortService::feedStreams(Steady::time_point now)
{
    const bool minStatDue = minStatStreaming && now >= nextMinStatAt;
    if (!minStatDue && !(uploading && output.pendingBytes() < kUploadLowWater))
        return;

    std::lock_guard<std::mutex> lock(band.mutex);
    if (minStatDue) {
        OutputQueue::Entry entry{encodeFrame(band.state.nextMinStatEvent(now)), true};
        output.push(std::move(entry), now); // dropped when the client has stopped reading
        nextMinStatAt += std::chrono::milliseconds(options.minStatIntervalMs);
        if (nextMinStatAt < now)
            nextMinStatAt = now + std::chrono::milliseconds(options.minStatIntervalMs);
    }
    while (uploading && output.pendingBytes() < kUploadLowWater) {
        OutputQueue::Entry entry{encodeFrame(band.state.nextUploadEvent(size_t(options.uploadPayloadSize))), true};
        if (!output.push(std::move(entry), now))
            break;
    }
}

bool PortService::wantsToWrite(Steady::time_point now) const
{
    if (output.empty() || output.headReadyAt() > now)
        return false;
    if (!options.paced)
        return true;
    const size_t chunk = std::min(kPacedChunk, output.headRemaining());
    return pacer.bytesDue(output.headReadyAt(), now) >= chunk;
}

std::optional<PortService::Steady::time_point> PortService::nextWakeUp(Steady::time_point now) const
{
    std::optional<Steady::time_point> next;
    auto consider = [&next](Steady::time_point t) {
        if (!next || t < *next)
            next = t;
    };
    if (!pendingCommands.empty())
        consider(pendingCommands.front().actAt);
    if (minStatStreaming)
        consider(nextMinStatAt);
    // While a write waits for POLLOUT, the output sets no deadline.
    if (!output.empty() && !wantsToWrite(now)) {
        const auto readyAt = output.headReadyAt();
        if (readyAt > now || !options.paced)
            consider(readyAt);
        else
            consider(pacer.dueTime(readyAt, std::min(kPacedChunk, output.headRemaining()), now));
    }
    return next;
}

PortService::WriteResult PortService::writeDue(Steady::time_point now)
{
    while (!output.empty() && output.headReadyAt() <= now) {
        const auto readyAt = output.headReadyAt();
        size_t allowed = output.headRemaining();
        if (options.paced)
            allowed = std::min(allowed, pacer.bytesDue(readyAt, now));
        if (allowed == 0)
            return WriteResult::Done;

        const long written = writeBandEnd(end, output.headData(), allowed);
        if (written == 0)
            return WriteResult::Done;
        if (written < 0)
            return WriteResult::Failed;

        if (options.paced)
            pacer.sent(readyAt, size_t(written), now);
        if (output.consume(size_t(written), now))
            return WriteResult::DropOff;
        if (size_t(written) < allowed)
            return WriteResult::Done;
    }
    return WriteResult::Done;
}

DropReason PortService::waitForClientToRead(const std::atomic<bool> &stopRequested)
{
    // A pseudo-terminal hands written bytes to the client's side a little
    // later, so first wait for the answer to show up there, then for the
    // client to take it.
    const auto start = Steady::now();
    bool arrived = false;
    while (!stopRequested) {
        const bool waiting = bytesWaitingForClient(end) > 0;
        arrived = arrived || waiting;
        const auto elapsed = Steady::now() - start;
        if ((arrived && !waiting) || (!arrived && elapsed > kArrivalTimeout) || elapsed > kDrainTimeout)
            break;
        waitForWakeUp(wake, kDrainCheck);
    }
    return stopRequested ? DropReason::Unplugged : DropReason::CablePulled;
}

} // namespace bandsim

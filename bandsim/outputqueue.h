// What the band still has to send, oldest first. Written out with
// non-blocking writes, so a client that stops reading never stops the band
// from reading and answering commands.
#pragma once

#include "frame.h"

#include <chrono>
#include <deque>

namespace bandsim {

class OutputQueue {
public:
    using Steady = std::chrono::steady_clock;

    // Stream events beyond this many queued bytes are dropped: a client that
    // does not read at all must not make the band's memory grow without end.
    // Replies are never dropped.
    static constexpr size_t kStreamLimit = 4096;

    struct Entry {
        Bytes bytes;
        bool isStreamEvent = false;
        std::chrono::milliseconds pauseBefore{0}; // counted from when it reaches the head
        bool dropOffAfter = false;                // the band leaves its port once this is out
        Steady::time_point queuedAt{};            // set by push()
    };

    // False when a stream event was dropped.
    bool push(Entry entry, Steady::time_point now);

    bool empty() const { return entries.empty(); }
    size_t pendingBytes() const { return pending; }

    // The head entry, and when it may start going out. Without a pause
    // that is when it was queued, so paced output runs on back to back.
    Steady::time_point headReadyAt() const;
    const uint8_t *headData() const { return entries.front().bytes.data() + headSent; }
    size_t headRemaining() const { return entries.front().bytes.size() - headSent; }

    // Marks count bytes of the head as sent. True when that finished an
    // entry that asked the band to drop off afterwards.
    bool consume(size_t count, Steady::time_point now);

private:
    std::deque<Entry> entries;
    size_t headSent = 0;
    size_t pending = 0;
    size_t streamBytes = 0;
    Steady::time_point headSince;
};

} // namespace bandsim

#include "outputqueue.h"

namespace bandsim {

bool OutputQueue::push(Entry entry, Steady::time_point now)
{
    if (entry.isStreamEvent) {
        if (streamBytes + entry.bytes.size() > kStreamLimit)
            return false;
        streamBytes += entry.bytes.size();
    }
    if (entries.empty()) {
        headSince = now;
        headSent = 0;
    }
    entry.queuedAt = now;
    pending += entry.bytes.size();
    entries.push_back(std::move(entry));
    return true;
}

OutputQueue::Steady::time_point OutputQueue::headReadyAt() const
{
    const Entry &head = entries.front();
    return head.pauseBefore.count() > 0 ? headSince + head.pauseBefore : head.queuedAt;
}

bool OutputQueue::consume(size_t count, Steady::time_point now)
{
    if (entries.empty())
        return false;
    count = count < headRemaining() ? count : headRemaining();
    headSent += count;
    pending -= count;
    if (entries.front().isStreamEvent)
        streamBytes -= count;
    if (headSent < entries.front().bytes.size())
        return false;

    const bool dropOff = entries.front().dropOffAfter;
    entries.pop_front();
    headSent = 0;
    headSince = now;
    return dropOff;
}

} // namespace bandsim

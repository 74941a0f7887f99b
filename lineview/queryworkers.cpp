#include "queryworkers.h"

#include <algorithm>

namespace {

// A job that asks for another runs it itself: waiting for a free thread
// could wait for its own.
thread_local bool onWorker = false;

} // namespace

struct QueryWorkers::Job {
    std::function<void()> body;
    bool taken = false, done = false;
};

QueryWorkers::QueryWorkers(int count)
{
    for (int i = 0; i < count; ++i)
        threads.emplace_back([this] { work(); });
}

QueryWorkers::~QueryWorkers()
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    for (std::thread &t : threads)
        t.join();
}

bool QueryWorkers::run(const std::function<void()> &job, std::chrono::milliseconds maxWait)
{
    if (onWorker) {
        job();
        return true;
    }
    auto queued = std::make_shared<Job>();
    queued->body = job;
    std::unique_lock<std::mutex> lock(mutex);
    if (stopping)
        return false;
    queue.push_back(queued);
    changed.notify_all();
    if (!changed.wait_for(lock, maxWait, [&] { return queued->taken || stopping; }) || !queued->taken) {
        // Not begun: it must never run, as job refers to the caller's stack.
        queue.erase(std::find(queue.begin(), queue.end(), queued));
        return false;
    }
    changed.wait(lock, [&] { return queued->done; });
    return true;
}

void QueryWorkers::work()
{
    onWorker = true;
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        changed.wait(lock, [this] { return stopping || !queue.empty(); });
        if (stopping)
            return;
        const std::shared_ptr<Job> job = queue.front();
        queue.pop_front();
        job->taken = true;
        changed.notify_all();
        lock.unlock();
        job->body();
        lock.lock();
        job->done = true;
        changed.notify_all();
    }
}

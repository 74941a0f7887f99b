// The few threads that read the records for every request. Each keeps its
// own connection, so that however many pages are served, lineview holds at
// most this many sessions on the line's server, which has stations to serve.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class QueryWorkers {
public:
    explicit QueryWorkers(int count);
    // Waits for the jobs under way; those not begun are dropped.
    ~QueryWorkers();

    // Runs job on one of the threads and returns once it has run; false,
    // and the job never runs, when no thread took it within maxWait.
    bool run(const std::function<void()> &job, std::chrono::milliseconds maxWait);

private:
    struct Job;
    void work();

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::shared_ptr<Job>> queue;
    bool stopping = false;
    std::vector<std::thread> threads;
};

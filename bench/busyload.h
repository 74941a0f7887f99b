// Busy threads that spin until the load ends: a load of `threads`, for
// benchmark runs under load side by side with quiet ones.
#pragma once

#include <atomic>
#include <thread>
#include <vector>

class BusyLoad {
public:
    explicit BusyLoad(int threads)
    {
        for (int i = 0; i < threads; ++i)
            spinners.emplace_back([this] {
                volatile unsigned long spins = 0;
                while (!done.load(std::memory_order_relaxed))
                    spins = spins + 1;
            });
    }
    ~BusyLoad()
    {
        done = true;
        for (std::thread &spinner : spinners)
            spinner.join();
    }

private:
    std::atomic<bool> done{false};
    std::vector<std::thread> spinners;
};

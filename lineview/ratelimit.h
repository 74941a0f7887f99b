// Requests a client address may make: a bucket per address that fills at
// a steady rate up to a burst, so that one client cannot take the view
// from everyone else. Thread-safe; a bounded number of addresses is kept.
#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>

class RateLimit {
public:
    RateLimit(double perSecond, double burst);
    // True when address may make one more request now.
    bool take(const std::string &address);

    std::function<std::chrono::steady_clock::time_point()> clock = [] { return std::chrono::steady_clock::now(); };

private:
    struct Bucket {
        double tokens;
        std::chrono::steady_clock::time_point filled;
    };
    const double perSecond, burst;
    std::mutex mutex;
    std::unordered_map<std::string, Bucket> buckets;
};

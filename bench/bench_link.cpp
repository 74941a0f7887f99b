// bench_link: how close bandlink comes to the wire's own pace against a paced
// virtual band, how fast it takes a stream of events, what CPU that costs,
// and whether an exchange touches the heap. Figures go to standard error;
// the library's trace goes to /dev/null.
//
// Usage: bench_link [calls per operation, default 200] [upload events, default 10000]
#include "alloccount.h"

#include <bandlink.h>
#include <bandsim/virtualband.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t kPort = 0;
constexpr double kReplyPauseMs = 20.0;
constexpr double kByteUs = 86.8; // one byte at 115200 bit/s, 10 bits a byte

struct Operation {
    const char *name;
    int commandBytes;
    int replyBytes;
    std::function<bool()> call;
};

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// who: RUSAGE_SELF for the whole process, RUSAGE_THREAD for the caller.
double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
           + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    const size_t index = size_t(fraction * double(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

std::vector<Operation> operations()
{
    static sb_version_t version;
    static sb_time_t clock{0, 30, 12, 14, 2, 15};
    static sb_conf_t conf{60, 170, 1, 25, 8000};
    static sb_led_t led{{1, 0}};
    static sb_alarm_t alarms[SB_ALARM_COUNT];
    static sb_stat_t stat;
    static sb_day_data_t dayData;
    static sb_day_stat_t dayStat;
    const int head = SB_HEAD_SIZE;
    return {
        {"version", head, head + 10, [] { return sb_getVersion(&version); }},
        {"get time", head, head + 6, [] { return sb_getTime(&clock); }},
        {"set time", head + 6, head + 1, [] { return sb_setTime(&clock); }},
        {"get conf", head, head + 6, [] { return sb_getSBConf(&conf); }},
        {"set conf", head + 6, head + 1, [] { return sb_setSBConf(&conf); }},
        {"get led", head, head + 2, [] { return sb_getLed(&led); }},
        {"set led", head + 2, head + 1, [] { return sb_setLed(&led); }},
        {"get alarm", head, head + 32, [] { return sb_getAlarmClock(alarms); }},
        {"set alarm", head + 32, head + 1, [] { return sb_setAlarmClock(alarms); }},
        {"stat", head, head + 12, [] { return sb_getSBStat(&stat); }},
        {"day data", head, head + 16, [] { return sb_getSBDayData(&dayData); }},
        {"day stat", head, head + 16, [] { return sb_getDayStat(3, &dayStat); }},
    };
}

struct Totals {
    uint64_t allocations = 0;
    int failures = 0;
    double worstMedianRatio = 0;
};

void measureOperation(const Operation &op, int calls, Totals *totals)
{
    if (!op.call()) // warm-up; also a first check that the band answers
        ++totals->failures;
    std::vector<double> latencies;
    latencies.reserve(size_t(calls));
    uint64_t allocations = 0;
    for (int i = 0; i < calls; ++i) {
        const Clock::time_point start = Clock::now();
        alloccount::start();
        const bool ok = op.call();
        allocations += alloccount::stop();
        latencies.push_back(millisecondsSince(start));
        if (!ok)
            ++totals->failures;
    }
    const double floorMs = kReplyPauseMs + (op.commandBytes + op.replyBytes) * kByteUs / 1000.0;
    const double median = percentile(latencies, 0.5);
    const double p99 = percentile(latencies, 0.99);
    totals->allocations += allocations;
    totals->worstMedianRatio = std::max(totals->worstMedianRatio, median / floorMs);
    std::fprintf(stderr, "%-10s %5d %9.2f %10.2f %8.2f %7.3f %7.3f %7llu\n", op.name,
                 op.commandBytes + op.replyBytes, floorMs, median, p99, median / floorMs,
                 p99 / floorMs, static_cast<unsigned long long>(allocations));
}

struct StreamResult {
    int received = 0;
    int failed = 0; // receives that brought no valid frame
    long lost = 0;  // sequence numbers skipped or out of order
    double seconds = 0;
    double cpuPercent = 0;       // the whole process, band thread included
    double linkCpuPercent = 0;   // the thread calling the library
    uint64_t allocations = 0;
};

uint32_t sequenceOf(const uint8_t *payload)
{
    return uint32_t(payload[0]) | uint32_t(payload[1]) << 8 | uint32_t(payload[2]) << 16
           | uint32_t(payload[3]) << 24;
}

// Events missing between the last one seen and this one; a number that
// goes backwards counts as lost too (out of order).
StreamResult streamUploads(int events)
{
    StreamResult result;
    uint8_t payload[256];
    if (!sb_setStartUpdata())
        return result;
    const double cpuStart = cpuSeconds(RUSAGE_SELF);
    const double linkCpuStart = cpuSeconds(RUSAGE_THREAD);
    const Clock::time_point start = Clock::now();
    long expected = 0;
    for (int i = 0; i < events; ++i) {
        alloccount::start();
        const bool ok = sb_getUpload(payload);
        result.allocations += alloccount::stop();
        if (!ok) {
            ++result.failed;
            continue;
        }
        ++result.received;
        const long sequence = long(sequenceOf(payload));
        if (sequence != expected)
            result.lost += sequence > expected ? sequence - expected : 1;
        expected = sequence + 1;
    }
    result.seconds = millisecondsSince(start) / 1000.0;
    result.cpuPercent = 100.0 * (cpuSeconds(RUSAGE_SELF) - cpuStart) / result.seconds;
    result.linkCpuPercent = 100.0 * (cpuSeconds(RUSAGE_THREAD) - linkCpuStart) / result.seconds;
    sb_setStopUpdata();
    return result;
}

int numberArgument(int argc, char **argv, int index, int fallback)
{
    return argc > index ? std::max(1, std::atoi(argv[index])) : fallback;
}

} // namespace

int main(int argc, char **argv)
{
    const int calls = numberArgument(argc, argv, 1, 200);
    const int events = numberArgument(argc, argv, 2, 10000);
    if (std::freopen("/dev/null", "w", stdout) == nullptr) {
        std::fprintf(stderr, "bench_link: cannot send the trace to /dev/null\n");
        return 1;
    }

    bandsim::Options options;
    options.paced = true;
    bandsim::VirtualBand band(options);
    if (!band.plugIn() || !uart_bind_device_path(kPort, band.devicePath().c_str()) || !sb_init(kPort)) {
        std::fprintf(stderr, "bench_link: cannot start and open a virtual band\n");
        return 1;
    }

    std::fprintf(stderr, "%d calls per operation; floor = %.0f ms + wire bytes x %.1f us\n",
                 calls, kReplyPauseMs, kByteUs);
    std::fprintf(stderr, "%-10s %5s %9s %10s %8s %7s %7s %7s\n", "operation", "bytes",
                 "floor ms", "median ms", "p99 ms", "med/fl", "p99/fl", "allocs");
    Totals totals;
    for (const Operation &op : operations())
        measureOperation(op, calls, &totals);

    const StreamResult stream = streamUploads(events);
    sb_exit();

    std::fprintf(stderr, "\nupload stream: %d events in %.2f s = %.0f events/s, %ld lost, "
                 "%d failed receives\n"
                 "CPU per wall second: %.1f %% of one core for the process "
                 "(%.1f %% on the thread calling bandlink, the rest is the virtual band)\n",
                 stream.received, stream.seconds, stream.received / stream.seconds, stream.lost,
                 stream.failed, stream.cpuPercent, stream.linkCpuPercent);
    const uint64_t allocations = totals.allocations + stream.allocations;
    if (alloccount::available())
        std::fprintf(stderr, "heap allocations inside exchanges: %llu\n",
                     static_cast<unsigned long long>(allocations));
    else
        std::fprintf(stderr, "heap allocations inside exchanges: not counted under the sanitizers\n");
    std::fprintf(stderr, "failed calls: %d\n", totals.failures);
    auto verdict = [](bool met) { return met ? "met" : "MISSED"; };
    std::fprintf(stderr, "\ngoals: median within 1.10 x floor: %s (worst %.3f); 0 lost: %s; "
                 "< 5 %% of one core: %s for the process, %s for the bandlink thread; 0 allocations: %s\n",
                 verdict(totals.worstMedianRatio <= 1.10), totals.worstMedianRatio,
                 verdict(stream.lost == 0 && stream.received == events), verdict(stream.cpuPercent < 5.0),
                 verdict(stream.linkCpuPercent < 5.0),
                 alloccount::available() ? verdict(allocations == 0) : "not counted");
    return totals.failures == 0 ? 0 : 1;
}

// bench_link: how close bandlink comes to its floor against a paced virtual
// band, how fast it takes a stream of events, what CPU that costs with the
// trace going to /dev/null and to a terminal, and whether an exchange
// touches the heap. Figures go to standard error.
//
// A request's floor on a pseudo-terminal is the 20 ms pause between command
// and reply, measured here as the pause itself takes on this machine: the
// command leaves at once, and the reply crosses the wire during the pause.
// On a real port the send also waits for the command's bytes to go out, so
// that floor is shown beside it.
//
// Usage: bench_link [runs, default 5] [calls per operation and run, default 200]
//                   [upload events per stream run, default 3000]
#include "alloccount.h"
#include "childprocess.h"

#include <bandlink.h>
#include <bandsim/virtualband.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t kPort = 0;
constexpr std::chrono::milliseconds kReplyPause(20); // the library's own pause
constexpr double kByteMs = 0.0868;                   // one byte at 115200 bit/s, 10 bits a byte
constexpr int kPauseSamplesPerRun = 50;
constexpr int kStreamRuns = 3;

struct Operation {
    const char *name;
    int commandBytes;
    std::function<bool()> call;
};

struct OperationFigures {
    std::vector<double> latencies;  // every call of every run
    std::vector<double> runMedians; // one per run, for the spread
    uint64_t allocations = 0;
    int failures = 0;
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
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Times the calling thread went to sleep waiting (for input, mostly).
long wakeUps()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_nvcsw;
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
        {"version", head, [] { return sb_getVersion(&version); }},
        {"get time", head, [] { return sb_getTime(&clock); }},
        {"set time", head + 6, [] { return sb_setTime(&clock); }},
        {"get conf", head, [] { return sb_getSBConf(&conf); }},
        {"set conf", head + 6, [] { return sb_setSBConf(&conf); }},
        {"get led", head, [] { return sb_getLed(&led); }},
        {"set led", head + 2, [] { return sb_setLed(&led); }},
        {"get alarm", head, [] { return sb_getAlarmClock(alarms); }},
        {"set alarm", head + 32, [] { return sb_setAlarmClock(alarms); }},
        {"stat", head, [] { return sb_getSBStat(&stat); }},
        {"day data", head, [] { return sb_getSBDayData(&dayData); }},
        {"day stat", head, [] { return sb_getDayStat(3, &dayStat); }},
    };
}

// The pause alone, as the library takes it.
void samplePause(std::vector<double> *samples)
{
    for (int i = 0; i < kPauseSamplesPerRun; ++i) {
        const Clock::time_point start = Clock::now();
        std::this_thread::sleep_for(kReplyPause);
        samples->push_back(millisecondsSince(start));
    }
}

void runOperation(const Operation &op, int calls, OperationFigures *figures)
{
    std::vector<double> run;
    run.reserve(size_t(calls));
    for (int i = 0; i < calls; ++i) {
        const Clock::time_point start = Clock::now();
        alloccount::start();
        const bool ok = op.call();
        figures->allocations += alloccount::stop();
        run.push_back(millisecondsSince(start));
        if (!ok)
            ++figures->failures;
    }
    figures->runMedians.push_back(bench::percentile(run, 0.5));
    figures->latencies.insert(figures->latencies.end(), run.begin(), run.end());
}

struct RequestTotals {
    uint64_t allocations = 0;
    int failures = 0;
    double worstMedianRatio = 0;
};

// Runs interleave the operations, so that a busy moment on the machine
// does not fall on one operation alone.
RequestTotals measureRequests(int runs, int calls)
{
    const std::vector<Operation> ops = operations();
    std::vector<OperationFigures> figures(ops.size());
    std::vector<double> pause;
    for (const Operation &op : ops) // warm-up; also a first check that the band answers
        figures[size_t(&op - ops.data())].failures += op.call() ? 0 : 1;
    for (int run = 0; run < runs; ++run) {
        samplePause(&pause);
        for (size_t i = 0; i < ops.size(); ++i)
            runOperation(ops[i], calls, &figures[i]);
    }

    const double floorMs = bench::percentile(pause, 0.5);
    std::fprintf(stderr, "%d runs x %d calls per operation\n"
                 "floor: the 20 ms pause as slept here, median %.3f ms, p99 %.3f ms (%zu samples)\n\n",
                 runs, calls, floorMs, bench::percentile(pause, 0.99), pause.size());
    std::fprintf(stderr, "%-10s %8s %8s %8s %15s %7s %7s %9s %6s\n", "operation", "floor", "median",
                 "p99", "run medians", "med/fl", "p99/fl", "real port", "allocs");
    std::fprintf(stderr, "%-10s %8s %8s %8s %15s %7s %7s %9s %6s\n", "", "ms", "ms", "ms", "min-max ms",
                 "", "", "floor ms", "");
    RequestTotals totals;
    for (size_t i = 0; i < ops.size(); ++i) {
        const OperationFigures &f = figures[i];
        const double median = bench::percentile(f.latencies, 0.5);
        const double p99 = bench::percentile(f.latencies, 0.99);
        const auto [low, high] = std::minmax_element(f.runMedians.begin(), f.runMedians.end());
        std::fprintf(stderr, "%-10s %8.3f %8.3f %8.3f %7.3f-%-7.3f %7.3f %7.3f %9.3f %6llu\n", ops[i].name,
                     floorMs, median, p99, *low, *high, median / floorMs, p99 / floorMs,
                     floorMs + ops[i].commandBytes * kByteMs, static_cast<unsigned long long>(f.allocations));
        totals.allocations += f.allocations;
        totals.failures += f.failures;
        totals.worstMedianRatio = std::max(totals.worstMedianRatio, median / floorMs);
    }
    return totals;
}

// A terminal for the trace: a pseudo-terminal whose other end a thread
// reads and throws away, as a terminal window would.
class DrainedTerminal {
public:
    bool open()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        const char *name = master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0 ? ptsname(master) : nullptr;
        if (name == nullptr)
            return false;
        path = name;
        drainer = std::thread([this] {
            char buf[4096];
            pollfd p{master, POLLIN, 0};
            while (!stop) {
                if (poll(&p, 1, 50) > 0 && read(master, buf, sizeof buf) < 0)
                    return;
            }
        });
        return true;
    }
    ~DrainedTerminal()
    {
        stop = true;
        if (drainer.joinable())
            drainer.join();
        if (master >= 0)
            close(master);
    }
    std::string path;

private:
    int master = -1;
    std::atomic<bool> stop{false};
    std::thread drainer;
};

struct StreamResult {
    int received = 0;
    int failed = 0; // receives that brought no valid frame
    long lost = 0;  // sequence numbers skipped or out of order
    double seconds = 0;
    double cpuPercent = 0;     // the whole process: band thread and terminal drainer included
    double linkCpuPercent = 0; // the thread calling the library, trace writes included
    double wakeUpsPerEvent = 0; // of that thread
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
    const long wakeUpsStart = wakeUps();
    const Clock::time_point start = Clock::now();
    long expected = -1;
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
        if (expected >= 0 && sequence != expected) // a new stream may go on from the last one
            result.lost += sequence > expected ? sequence - expected : 1;
        expected = sequence + 1;
    }
    std::fflush(stdout);
    result.seconds = millisecondsSince(start) / 1000.0;
    result.cpuPercent = 100.0 * (cpuSeconds(RUSAGE_SELF) - cpuStart) / result.seconds;
    result.linkCpuPercent = 100.0 * (cpuSeconds(RUSAGE_THREAD) - linkCpuStart) / result.seconds;
    result.wakeUpsPerEvent = double(wakeUps() - wakeUpsStart) / events;
    sb_setStopUpdata();
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // the tail of the stream drains
    return result;
}

struct StreamTotals {
    uint64_t allocations = 0;
    bool complete = true; // nothing lost, nothing failed
    double worstLinkCpu = 0;
};

// Points standard output at path, buffered as a program started with its
// output there would have it: by lines on a terminal, in blocks elsewhere.
// O_NOCTTY, so that the terminal never becomes this process's own.
bool traceTo(const std::string &path)
{
    std::fflush(stdout);
    const int fd = open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool moved = dup2(fd, STDOUT_FILENO) == STDOUT_FILENO;
    close(fd);
    return moved && std::setvbuf(stdout, nullptr, isatty(STDOUT_FILENO) ? _IOLBF : _IOFBF, BUFSIZ) == 0;
}

// Several stream runs with the trace going to path.
void measureStream(const char *sink, const std::string &path, int events, StreamTotals *totals)
{
    if (!traceTo(path)) {
        std::fprintf(stderr, "bench_link: cannot send the trace to %s\n", path.c_str());
        totals->complete = false;
        return;
    }
    std::vector<double> rates, cpu, linkCpu, wakes;
    for (int run = 0; run < kStreamRuns; ++run) {
        const StreamResult r = streamUploads(events);
        rates.push_back(r.received / r.seconds);
        cpu.push_back(r.cpuPercent);
        linkCpu.push_back(r.linkCpuPercent);
        wakes.push_back(r.wakeUpsPerEvent);
        totals->allocations += r.allocations;
        totals->complete = totals->complete && r.lost == 0 && r.failed == 0 && r.received == events;
        if (r.lost != 0 || r.failed != 0)
            std::fprintf(stderr, "  run %d: %ld lost, %d failed receives\n", run + 1, r.lost, r.failed);
    }
    auto range = [](const std::vector<double> &v) {
        const auto [low, high] = std::minmax_element(v.begin(), v.end());
        return std::make_pair(*low, *high);
    };
    const auto [rateLow, rateHigh] = range(rates);
    const auto [cpuLow, cpuHigh] = range(cpu);
    const auto [linkLow, linkHigh] = range(linkCpu);
    std::fprintf(stderr, "%-15s %5.0f-%-5.0f %14.1f %5.1f-%-5.1f %8.1f %14.1f %5.1f-%-5.1f\n", sink, rateLow,
                 rateHigh, bench::percentile(linkCpu, 0.5), linkLow, linkHigh, bench::percentile(wakes, 0.5),
                 bench::percentile(cpu, 0.5), cpuLow, cpuHigh);
    totals->worstLinkCpu = std::max(totals->worstLinkCpu, linkHigh);
}

} // namespace

int main(int argc, char **argv)
{
    const int runs = bench::countArgument(argc, argv, 1, 5);
    const int calls = bench::countArgument(argc, argv, 2, 200);
    const int events = bench::countArgument(argc, argv, 3, 3000);
    if (!traceTo("/dev/null")) {
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

    const RequestTotals requests = measureRequests(runs, calls);

    std::fprintf(stderr, "\nupload stream: %d runs x %d events for each trace sink; CPU in %% of one core, "
                 "per wall second\n", kStreamRuns, events);
    std::fprintf(stderr, "%-15s %11s %14s %11s %8s %14s %11s\n", "trace to", "events/s", "bandlink thr.",
                 "min-max", "wakes/ev", "process", "min-max");
    StreamTotals stream;
    measureStream("/dev/null", "/dev/null", events, &stream);
    {
        DrainedTerminal terminal;
        if (terminal.open())
            measureStream("terminal (pty)", terminal.path, events, &stream);
        else
            stream.complete = false;
        traceTo("/dev/null"); // before the terminal goes
    }
    std::fprintf(stderr, "(the process figure includes the virtual band's thread and, for the terminal, "
                 "the thread draining it)\n");
    sb_exit();

    const uint64_t allocations = requests.allocations + stream.allocations;
    if (alloccount::available())
        std::fprintf(stderr, "heap allocations inside exchanges: %llu\n",
                     static_cast<unsigned long long>(allocations));
    else
        std::fprintf(stderr, "heap allocations inside exchanges: not counted under the sanitizers\n");
    std::fprintf(stderr, "failed calls: %d\n", requests.failures);
    auto verdict = [](bool met) { return met ? "met" : "MISSED"; };
    std::fprintf(stderr, "\ngoals: median within 1.10 x floor: %s (worst %.3f); 0 lost: %s; "
                 "bandlink thread < 5 %% of one core: %s (worst run %.1f %%); 0 allocations: %s\n",
                 verdict(requests.worstMedianRatio <= 1.10), requests.worstMedianRatio,
                 verdict(stream.complete), verdict(stream.worstLinkCpu < 5.0), stream.worstLinkCpu,
                 alloccount::available() ? verdict(allocations == 0) : "not counted");
    return requests.failures == 0 ? 0 : 1;
}

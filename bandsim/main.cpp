// bandsim: a band that lives in software, on a pseudo-terminal, for working
// with the tools on a machine that has no band.
#include "faultoption.h"

#include <bandsim/virtualband.h>

#include <chrono>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Steady = std::chrono::steady_clock;

// Signal handlers and the band's thread report here; the main thread reads.
int eventPipe[2] = {-1, -1};

void report(char event)
{
    [[maybe_unused]] ssize_t written = write(eventPipe[1], &event, 1);
}

void onSignal(int)
{
    report('S');
}

struct Arguments {
    bool paced = false;
    int replugMs = 2000;
    std::vector<bandsim::FaultSetting> faults;
};

void printUsage(FILE *to)
{
    std::fprintf(to,
                 "Usage: bandsim [--paced] [--replug-ms N] [--fault NAME[:ITEM]]...\n"
                 "  --paced              answer at the pace of a 115200 bit/s wire\n"
                 "  --replug-ms N        after a reset or upgrade, plug back in after N ms (default 2000)\n"
                 "  --fault NAME[:ITEM]  switch a fault on for the commands about ITEM, or about every\n"
                 "                       item without :ITEM; repeatable, a later one for an item wins\n");
}

std::optional<int> parseMilliseconds(const char *text)
{
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < 0 || value > 3600000)
        return std::nullopt;
    return int(value);
}

// nullopt after printing why the command line is wrong.
std::optional<Arguments> parseArguments(int argc, char **argv)
{
    Arguments arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--paced") {
            arguments.paced = true;
        } else if (option == "--replug-ms" && i + 1 < argc) {
            const auto ms = parseMilliseconds(argv[++i]);
            if (!ms) {
                std::fprintf(stderr, "bandsim: --replug-ms needs a number of milliseconds, not \"%s\"\n", argv[i]);
                return std::nullopt;
            }
            arguments.replugMs = *ms;
        } else if (option == "--fault" && i + 1 < argc) {
            std::string error;
            const auto setting = bandsim::parseFaultSetting(argv[++i], &error);
            if (!setting) {
                std::fprintf(stderr, "bandsim: --fault %s: %s\n", argv[i], error.c_str());
                return std::nullopt;
            }
            arguments.faults.push_back(*setting);
        } else {
            std::fprintf(stderr, "bandsim: unknown or incomplete option \"%s\"\n", argv[i]);
            printUsage(stderr);
            return std::nullopt;
        }
    }
    return arguments;
}

bool setUpEvents()
{
    if (pipe2(eventPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0;
}

void printPluggedIn(const std::string &path)
{
    std::printf("Virtual band plugged in at %s\n", path.c_str());
    std::printf("Use it as the band's serial port, e.g.: bandctl info --device %s\n", path.c_str());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        printUsage(stdout);
        bandsim::printFaultNames(stdout);
        return 0;
    }
    const auto arguments = parseArguments(argc, argv);
    if (!arguments)
        return 2;
    if (!setUpEvents()) {
        std::fprintf(stderr, "bandsim: cannot set up signal handling: %s\n", std::strerror(errno));
        return 1;
    }

    bandsim::Options options;
    options.paced = arguments->paced;
    bandsim::VirtualBand band(options);
    band.onRestart([] { report('R'); });
    band.onUpgrade([] { report('U'); });
    for (const bandsim::FaultSetting &setting : arguments->faults) {
        for (int item = 0; item < 256; ++item) {
            if (setting.item < 0 || setting.item == item)
                band.setFault(uint8_t(item), setting.fault);
        }
        std::printf("Fault switched on: %s\n", bandsim::describe(setting).c_str());
    }
    if (!band.plugIn()) {
        std::fprintf(stderr, "bandsim: no pseudo-terminal to be had: %s\n", std::strerror(errno));
        return 1;
    }
    printPluggedIn(band.devicePath());

    bool replugPending = false;
    Steady::time_point replugAt;
    for (;;) {
        int timeoutMs = -1;
        if (replugPending) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(replugAt - Steady::now());
            timeoutMs = left.count() > 0 ? int(left.count()) : 0;
        }
        pollfd events{eventPipe[0], POLLIN, 0};
        if (poll(&events, 1, timeoutMs) < 0 && errno != EINTR)
            break;

        char event = 0;
        bool stop = false;
        while (read(eventPipe[0], &event, 1) == 1) {
            if (event == 'S') {
                stop = true;
            } else {
                std::printf(event == 'R' ? "Band restarted; plugging it back in after %d ms\n"
                                         : "Band entered upgrade mode; plugging it back in after %d ms\n",
                            arguments->replugMs);
                std::fflush(stdout);
                replugPending = true;
                replugAt = Steady::now() + std::chrono::milliseconds(arguments->replugMs);
            }
        }
        if (stop)
            break;
        if (replugPending && Steady::now() >= replugAt) {
            replugPending = false;
            if (!band.plugIn()) {
                std::fprintf(stderr, "bandsim: cannot plug the band back in: %s\n", std::strerror(errno));
                return 1;
            }
            printPluggedIn(band.devicePath());
        }
    }

    band.unplug();
    std::printf("Virtual band unplugged.\n");
    return 0;
}

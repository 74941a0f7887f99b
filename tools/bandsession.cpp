// bandsession: runs a short session with a band through bandlink and shows
// the protocol trace: open, version, clock, wearer settings, restart.
// One summary line per step goes to standard error; the first failure ends
// the session with a non-zero exit status.
#include <bandlink.h>
#include <bandsim/virtualband.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

namespace {

struct Arguments {
    std::string device;    // --device
    int port = -1;         // --port
    bool simulate = false; // --simulate
};

void printUsage(FILE *to)
{
    std::fprintf(to,
                 "Usage: bandsession (--device PATH | --port N | --simulate)\n"
                 "  --device PATH  the band's serial device, e.g. the path bandsim prints\n"
                 "  --port N       a band on /dev/ttyACMN (N from 0 to 255)\n"
                 "  --simulate     a virtual band inside this program\n");
}

bool parsePort(const char *text, int *port)
{
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < 0 || value > 255)
        return false;
    *port = int(value);
    return true;
}

bool parseArguments(int argc, char **argv, Arguments *arguments)
{
    int choices = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--device" && i + 1 < argc && argv[i + 1][0] != '\0') {
            arguments->device = argv[++i];
            ++choices;
        } else if (option == "--port" && i + 1 < argc) {
            if (!parsePort(argv[++i], &arguments->port)) {
                std::fprintf(stderr, "bandsession: --port needs a number from 0 to 255, not \"%s\"\n", argv[i]);
                return false;
            }
            ++choices;
        } else if (option == "--simulate") {
            arguments->simulate = true;
            ++choices;
        } else if (option == "--help" || option == "-h") {
            printUsage(stdout);
            std::exit(0);
        } else {
            std::fprintf(stderr, "bandsession: unknown or incomplete option \"%s\"\n", argv[i]);
            printUsage(stderr);
            return false;
        }
    }
    if (choices != 1) {
        std::fprintf(stderr, "bandsession: name exactly one band: --device, --port or --simulate\n");
        printUsage(stderr);
        return false;
    }
    return true;
}

bool fail(const char *what)
{
    std::fprintf(stderr, "bandsession: %s\n", what);
    return false;
}

bool toBandTime(time_t when, sb_time_t *clock)
{
    tm local{};
    if (localtime_r(&when, &local) == nullptr || local.tm_year < 100 || local.tm_year > 355)
        return false;
    clock->second = uint8_t(local.tm_sec > 59 ? 59 : local.tm_sec);
    clock->minute = uint8_t(local.tm_min);
    clock->hour = uint8_t(local.tm_hour);
    clock->day = uint8_t(local.tm_mday - 1);
    clock->month = uint8_t(local.tm_mon);
    clock->year = uint8_t(local.tm_year - 100);
    return true;
}

time_t fromBandTime(const sb_time_t &clock)
{
    tm local{};
    local.tm_sec = clock.second;
    local.tm_min = clock.minute;
    local.tm_hour = clock.hour;
    local.tm_mday = clock.day + 1;
    local.tm_mon = clock.month;
    local.tm_year = clock.year + 100;
    local.tm_isdst = -1;
    return mktime(&local);
}

std::string formatted(const sb_time_t &clock)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", clock.year + 2000,
                  clock.month + 1, clock.day + 1, clock.hour, clock.minute, clock.second);
    return text;
}

bool checkVersion()
{
    sb_version_t version{};
    if (!sb_getVersion(&version))
        return fail("the band did not report its version");
    std::fprintf(stderr, "version %d.%d.%d.%d\n",
                 version.version[0], version.version[1], version.version[2], version.version[3]);
    return true;
}

// The band's clock must read back what was set, give or take the seconds
// the exchange took.
bool checkClock()
{
    sb_time_t set{};
    sb_time_t readBack{};
    if (!toBandTime(time(nullptr), &set))
        return fail("the computer's clock is outside the years the band can hold");
    if (!sb_setTime(&set))
        return fail("the band did not take the new time");
    if (!sb_getTime(&readBack))
        return fail("the band did not report its time");
    std::fprintf(stderr, "clock set %s read back %s\n", formatted(set).c_str(), formatted(readBack).c_str());
    const double drift = difftime(fromBandTime(readBack), fromBandTime(set));
    if (drift < 0 || drift > 2)
        return fail("the clock read back differs from the time set");
    return true;
}

bool checkWearerSettings()
{
    sb_conf_t wanted{};
    wanted.weight = 60;
    wanted.height = 170;
    wanted.sex = 1; // female
    wanted.age = 25;
    wanted.goal = 8000;
    sb_conf_t readBack{};
    if (!sb_setSBConf(&wanted))
        return fail("the band did not take the wearer settings");
    if (!sb_getSBConf(&readBack))
        return fail("the band did not report its wearer settings");
    if (std::memcmp(&wanted, &readBack, sizeof wanted) != 0)
        return fail("the wearer settings read back differ from those written");
    std::fprintf(stderr, "wearer settings match\n");
    return true;
}

bool runSession(uint8_t port, const std::string &device)
{
    if (!sb_init(port)) {
        std::fprintf(stderr, "bandsession: cannot open the band's port %s (absent, busy or not a serial device)\n",
                     device.c_str());
        return false;
    }
    std::fprintf(stderr, "port %s open\n", device.c_str());
    const bool ok = checkVersion() && checkClock() && checkWearerSettings()
                    && (sb_reset() || fail("the restart command could not be sent"));
    if (ok)
        std::fprintf(stderr, "restart sent\n");
    sb_exit();
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    Arguments arguments;
    if (!parseArguments(argc, argv, &arguments))
        return 2;

    std::unique_ptr<bandsim::VirtualBand> band;
    uint8_t port = 0;
    std::string device = arguments.device;
    if (arguments.simulate) {
        band = std::make_unique<bandsim::VirtualBand>();
        if (!band->plugIn()) {
            std::fprintf(stderr, "bandsession: cannot start a virtual band (no pseudo-terminal)\n");
            return 1;
        }
        device = band->devicePath();
        std::fprintf(stderr, "simulated band on %s\n", device.c_str());
    }
    if (arguments.port >= 0) {
        port = uint8_t(arguments.port);
        device = "/dev/ttyACM" + std::to_string(port);
    } else if (!uart_bind_device_path(port, device.c_str())) {
        std::fprintf(stderr, "bandsession: device path too long: %s\n", device.c_str());
        return 1;
    }
    const bool ok = runSession(port, device);
    std::fflush(stdout);
    return ok ? 0 : 1;
}

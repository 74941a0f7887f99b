// Runs a virtual band for a program under test and does what the program asks
// for on its standard error, one "band: REQUEST" line at a time, answering on
// the program's standard input: switch a fault on, pull the band out, plug it
// back in. Any other line the program writes there passes through. With
// --dosdevices, wine's link for COM<port> follows the band's device.
//
//   bandhost --port N [--dosdevices DIR] [--pass-device] -- PROGRAM ARGS...
#include <bandsim/virtualband.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using bandsim::Fault;

namespace {

struct Arguments {
    int port = -1;
    std::string dosdevices;
    bool passDevice = false;
    std::vector<std::string> program;
};

bool parse(int argc, char **argv, Arguments *arguments)
{
    int i = 1;
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        const std::string option = argv[i];
        if (option == "--port" && i + 1 < argc)
            arguments->port = std::atoi(argv[++i]);
        else if (option == "--dosdevices" && i + 1 < argc)
            arguments->dosdevices = argv[++i];
        else if (option == "--pass-device")
            arguments->passDevice = true;
        else
            return false;
    }
    for (++i; i < argc; ++i)
        arguments->program.push_back(argv[i]);
    return arguments->port > 0 && arguments->port < 256 && !arguments->program.empty();
}

class Host {
public:
    explicit Host(const Arguments &arguments) : arguments(arguments)
    {
        bandsim::Options options;
        options.minStatIntervalMs = 100; // events soon enough for a listener's budget
        options.bluetoothAddress = {0x5A, 0x1B, 0x3C, 0x4D, 0x5E, 0x6F}; // the same in both runs compared
        band = std::make_unique<bandsim::VirtualBand>(options);
        band->stopClock();
        band->onRestart([this] { dropReason = "restarted"; });
        band->onUpgrade([this] { dropReason = "upgraded"; });
    }

    ~Host() { joinUnplugger(); }

    bool plugIn()
    {
        return band->plugIn() && linkComPort();
    }

    std::string devicePath() const { return band->devicePath(); }

    std::string answer(const std::string &request)
    {
        joinUnplugger();
        char name[64] = {};
        unsigned item = 0;
        int ms = 0;
        if (std::sscanf(request.c_str(), "fault %x %63s", &item, name) == 2 && faults().count(name) != 0) {
            band->setFault(uint8_t(item), faults().at(name));
            return "ok";
        }
        if (request == "clear") {
            band->clearFaults();
            return "ok";
        }
        if (std::sscanf(request.c_str(), "unplug-after %d", &ms) == 1) {
            unplugger = std::thread([this, ms] {
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                band->unplug();
            });
            return "ok";
        }
        if (request == "await-drop")
            return awaitDrop();
        if (request == "replug") {
            band->unplug();
            dropReason = "";
            return plugIn() ? "ok " + devicePath() : "cannot plug the band in";
        }
        return "unknown request";
    }

private:
    static const std::map<std::string, Fault> &faults()
    {
        static const std::map<std::string, Fault> names = {
            {"none", Fault::None}, {"no-answer", Fault::NoAnswer}, {"late-answer", Fault::LateAnswer},
            {"stray-bytes", Fault::StrayBytes}, {"wrong-check-byte", Fault::WrongCheckByte},
            {"payload-in-pieces", Fault::PayloadInPieces}, {"wrong-length", Fault::WrongLength},
            {"refused-write", Fault::RefusedWrite}, {"stores-different-value", Fault::StoresDifferentValue},
            {"drops-off", Fault::DropsOffAfterAnswer}};
        return names;
    }

    // Waits for the band to drop off its port by itself and says why.
    std::string awaitDrop()
    {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (band->isPluggedIn() && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (band->isPluggedIn())
            return "still plugged in";
        const char *reason = dropReason.load();
        return reason[0] != '\0' ? reason : "dropped";
    }

    // Points wine's COM port at the band's device; the rename replaces an
    // older link in one step.
    bool linkComPort() const
    {
        if (arguments.dosdevices.empty())
            return true;
        const std::string link = arguments.dosdevices + "/com" + std::to_string(arguments.port);
        const std::string fresh = link + ".new";
        unlink(fresh.c_str());
        return symlink(devicePath().c_str(), fresh.c_str()) == 0 && rename(fresh.c_str(), link.c_str()) == 0;
    }

    void joinUnplugger()
    {
        if (unplugger.joinable())
            unplugger.join();
    }

    const Arguments &arguments;
    std::unique_ptr<bandsim::VirtualBand> band;
    std::atomic<const char *> dropReason{""};
    std::thread unplugger;
};

// Starts the program with pipes on its standard input and error.
pid_t spawn(std::vector<std::string> program, int *toProgram, int *fromProgram)
{
    int in[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(err[1], STDERR_FILENO);
        std::vector<char *> argv;
        for (std::string &word : program)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        std::fprintf(stderr, "bandhost: cannot run %s: %s\n", argv[0], std::strerror(errno));
        _exit(127);
    }
    close(in[0]);
    close(err[1]);
    *toProgram = in[1];
    *fromProgram = err[0];
    return pid;
}

} // namespace

int main(int argc, char **argv)
{
    Arguments arguments;
    if (!parse(argc, argv, &arguments)) {
        std::fprintf(stderr, "Usage: bandhost --port N [--dosdevices DIR] [--pass-device] -- PROGRAM ARGS...\n");
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    Host host(arguments);
    if (!host.plugIn()) {
        std::fprintf(stderr, "bandhost: cannot plug the virtual band in: %s\n", std::strerror(errno));
        return 1;
    }
    std::vector<std::string> program = arguments.program;
    if (arguments.passDevice) {
        program.push_back("--device");
        program.push_back(host.devicePath());
    }
    int toProgram = -1, fromProgram = -1;
    const pid_t pid = spawn(program, &toProgram, &fromProgram);
    if (pid < 0) {
        std::fprintf(stderr, "bandhost: cannot start the program: %s\n", std::strerror(errno));
        return 1;
    }

    FILE *requests = fdopen(fromProgram, "r");
    char line[1024];
    while (requests != nullptr && std::fgets(line, sizeof line, requests) != nullptr) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        if (text.rfind("band: ", 0) != 0) {
            std::fprintf(stderr, "%s\n", text.c_str());
            continue;
        }
        const std::string reply = host.answer(text.substr(6)) + "\n";
        if (write(toProgram, reply.data(), reply.size()) != ssize_t(reply.size()))
            break;
    }
    close(toProgram);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}

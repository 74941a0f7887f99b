// bench_bandctl: `bandctl test` as a script runs it, against a virtual band
// pacing its wire at 115200 bit/s.
//
// One band: from spawning bandctl to its exit, against the floor of the same
// test sequence run inside this process on the same band (no process start,
// no output): the ratio is what the command line costs on top.
// Several bands at once are bench_parallel's.
//
// Beside them, `bandctl --version` spawn to exit: what starting and ending
// the process costs alone (loading Qt and the libraries), the part of the
// difference no change inside bandctl's commands can remove.
//
// Runs alternate between the two sides of the comparison so that both meet
// the same load; the load average is printed before and after. Figures go to standard error; bandlink's trace of the
// in-process floor goes to /dev/null.
// Usage: bench_bandctl [runs, default 15]
#include "childprocess.h"

#include "bandchannel.h"
#include "defreader.h"
#include "testsequence.h"

#include <bandlink.h>
#include <bandsim/virtualband.h>

#include <QCoreApplication>
#include <QThread>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {


struct Figures {
    std::vector<double> ms;
    int failures = 0;
};

void printFigures(const char *what, const Figures &figures)
{
    std::fprintf(stderr, "  %-34s median %7.1f ms  min %7.1f  p90 %7.1f  max %7.1f  (%zu runs, %d failed)\n", what,
                 bench::percentile(figures.ms, 0.5), bench::percentile(figures.ms, 0.0),
                 bench::percentile(figures.ms, 0.9), bench::percentile(figures.ms, 1.0), figures.ms.size(),
                 figures.failures);
}

void printLoad(const char *when)
{
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    file >> one >> five >> fifteen;
    std::fprintf(stderr, "load average %s: %s %s %s (1, 5, 15 min)\n", when, one.c_str(), five.c_str(), fifteen.c_str());
}

// A passing test restarts the band, which then leaves its port: plug it
// back in (a new pseudo-terminal) before the next run.
bool replug(bandsim::VirtualBand &band)
{
    for (int i = 0; i < 200 && band.isPluggedIn(); ++i)
        QThread::msleep(5);
    band.unplug();
    return band.plugIn();
}

std::vector<std::string> testCommand(const bandsim::VirtualBand &band)
{
    return {BANDCTL_PATH, "test", "--json", "--def", TESTER_DEF_XML, "--device", band.devicePath()};
}

void timeChild(const std::vector<std::string> &argv, int passesNeeded, Figures *figures)
{
    const bench::ChildResult child = bench::runChild(argv);
    size_t passes = 0;
    for (size_t at = 0; (at = child.output.find("\"outcome\":\"pass\"", at)) != std::string::npos; ++at)
        ++passes;
    if (child.exitStatus == 0 && int(passes) == passesNeeded)
        figures->ms.push_back(child.elapsedMs);
    else
        ++figures->failures;
}

void timeSequenceInProcess(bandsim::VirtualBand &band, const TestDefinition &definition, Figures *figures)
{
    TestSequence sequence;
    LinkChannel link(band.devicePath());
    const int64_t start = bench::monotonicNs();
    const TestResult result = sequence.run(link, &definition);
    const double ms = double(bench::monotonicNs() - start) / 1e6;
    if (result.passed())
        figures->ms.push_back(ms);
    else
        ++figures->failures;
}

bool measureOneBand(int runs, const TestDefinition &definition)
{
    bandsim::Options paced;
    paced.paced = true;
    bandsim::VirtualBand band(paced);
    if (!band.plugIn())
        return false;
    Figures floor;
    Figures command;
    Figures processAlone;
    for (int run = 0; run < runs; ++run) {
        timeSequenceInProcess(band, definition, &floor);
        if (!replug(band))
            return false;
        timeChild(testCommand(band), 1, &command);
        if (!replug(band))
            return false;
        const bench::ChildResult version = bench::runChild({BANDCTL_PATH, "--version"});
        if (version.exitStatus == 0)
            processAlone.ms.push_back(version.elapsedMs);
        else
            ++processAlone.failures;
    }
    const double ratio = bench::percentile(command.ms, 0.5) / bench::percentile(floor.ms, 0.5);
    std::fprintf(stderr, "bandctl test, one paced band:\n");
    printFigures("sequence in this process (floor)", floor);
    printFigures("bandctl test, spawn to exit", command);
    printFigures("bandctl --version, spawn to exit", processAlone);
    std::fprintf(stderr, "  median/floor %.3f; goal within 1.10: %s\n", ratio, ratio <= 1.10 ? "met" : "MISSED");
    std::fprintf(stderr, "  median over the floor %.1f ms, of which starting and ending the process %.1f ms\n",
                 bench::percentile(command.ms, 0.5) - bench::percentile(floor.ms, 0.5),
                 bench::percentile(processAlone.ms, 0.5));
    return !command.ms.empty() && !floor.ms.empty();
}

} // namespace

int main(int argc, char **argv)
{
    const int runs = bench::countArgument(argc, argv, 1, 15);
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        return 1;
    QCoreApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {}); // the reader's chatter
    CDefReader reader(QStringLiteral(TESTER_DEF_XML));
    TestDefinition definition;
    if (!reader.read() || !reader.getDefinition(&definition)) {
        std::fprintf(stderr, "bench_bandctl: cannot read %s\n", TESTER_DEF_XML);
        return 1;
    }
    std::fprintf(stderr, "bench_bandctl (figures only; the goals are printed, not enforced)\n");
    printLoad("before");
    const bool oneOk = measureOneBand(runs, definition);
    printLoad("after");
    return oneOk ? 0 : 1;
}

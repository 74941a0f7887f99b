// bench_parallel: several bands at once at one station, against virtual bands
// pacing their wire at 115200 bit/s.
//
// test --all: `bandctl test --all` on 8 bands against the same on 1 band,
// spawn to exit, and the child's CPU time per band.
// burn --all: the cycle bandctl's burn --all runs (ParallelBurn: upgrade,
// each band's own disk, the burn with its two 3 s pauses, the band's return)
// on 8 bands against 1, in this process, pauses included; then on 1, 4 and 8
// slots for the station's throughput in bands an hour (operator time, the
// plugging in and out, excluded).
//
// Each comparison alternates its sides run by run so that both meet the same
// load, once on the machine as it is and once under a load of two busy
// threads. Figures go to standard error.
// Usage: bench_parallel [test runs, default 15] [burn runs, default 3]
#include "busyload.h"
#include "childprocess.h"

#include "bandchannel.h"
#include "parallelburn.h"
#include "simulatedhotplugsource.h"
#include "simulatedhub.h"

#include <bandlink.h>
#include <bandsim/virtualband.h>

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kManyBands = 8;

struct Figures {
    std::vector<double> ms;
    std::vector<double> cpuMs;
    int failures = 0;
};

void printFigures(const char *what, const Figures &figures)
{
    std::fprintf(stderr, "    %-22s median %8.1f ms  p10 %8.1f  p90 %8.1f  min %8.1f  max %8.1f  (%zu runs, %d failed)\n",
                 what, bench::percentile(figures.ms, 0.5), bench::percentile(figures.ms, 0.1),
                 bench::percentile(figures.ms, 0.9), bench::percentile(figures.ms, 0.0),
                 bench::percentile(figures.ms, 1.0), figures.ms.size(), figures.failures);
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

void timeTestAll(const std::vector<bandsim::VirtualBand *> &bands, Figures *figures)
{
    std::vector<std::string> argv = {BANDCTL_PATH, "test", "--all", "--json", "--def", TESTER_DEF_XML};
    for (bandsim::VirtualBand *band : bands) {
        argv.push_back("--device");
        argv.push_back(band->devicePath());
    }
    const bench::ChildResult child = bench::runChild(argv);
    size_t passes = 0;
    for (size_t at = 0; (at = child.output.find("\"outcome\":\"pass\"", at)) != std::string::npos; ++at)
        ++passes;
    if (child.exitStatus == 0 && passes == bands.size()) {
        figures->ms.push_back(child.elapsedMs);
        figures->cpuMs.push_back(child.cpuMs / double(bands.size()));
    } else {
        ++figures->failures;
    }
}

bool measureTestAll(int runs, int load)
{
    bandsim::Options paced;
    paced.paced = true;
    std::vector<std::unique_ptr<bandsim::VirtualBand>> owned;
    std::vector<bandsim::VirtualBand *> bands;
    for (int i = 0; i < kManyBands; ++i) {
        owned.push_back(std::make_unique<bandsim::VirtualBand>(paced));
        if (!owned.back()->plugIn())
            return false;
        bands.push_back(owned.back().get());
    }
    const BusyLoad busy(load);
    Figures one;
    Figures four;
    Figures many;
    for (int run = 0; run < runs; ++run) {
        for (auto [size, figures] : {std::pair{1, &one}, std::pair{kManyBands, &many}, std::pair{4, &four}}) {
            const std::vector<bandsim::VirtualBand *> some(bands.begin(), bands.begin() + size);
            timeTestAll(some, figures);
            for (bandsim::VirtualBand *band : some) {
                if (!replug(*band))
                    return false;
            }
        }
    }
    const double ratio = bench::percentile(many.ms, 0.5) / bench::percentile(one.ms, 0.5);
    std::fprintf(stderr, "  bandctl test --all, spawn to exit, %s:\n", load ? "under a load of 2 busy threads" : "no load added");
    printFigures("1 band", one);
    printFigures("4 bands", four);
    printFigures("8 bands", many);
    std::fprintf(stderr, "    CPU per band: 1 band %.1f ms, 8 bands %.1f ms (medians)\n",
                 bench::percentile(one.cpuMs, 0.5), bench::percentile(many.cpuMs, 0.5));
    std::fprintf(stderr, "    8 bands / 1 band %.3f; goal within 1.15: %s\n", ratio, ratio <= 1.15 ? "met" : "MISSED");
    std::fprintf(stderr, "    testing station, bands an hour: 1 slot %.0f, 4 slots %.0f, 8 slots %.0f\n",
                 3.6e6 / bench::percentile(one.ms, 0.5), 4 * 3.6e6 / bench::percentile(four.ms, 0.5),
                 kManyBands * 3.6e6 / bench::percentile(many.ms, 0.5));
    return !one.ms.empty() && !many.ms.empty();
}

// One burn --all cycle on the first `count` bands of the hub; -1 on failure.
double timeBurnAll(SimulatedHub &hub, SimulatedHotplugSource &hotplug, int count)
{
    ParallelBurn burn(&hotplug, &hub);
    QList<BurnSlot> places;
    for (int slot = 0; slot < count; ++slot)
        places.append({hub.band(slot).usbLocation(), hub.band(slot).port()});
    BurnCycleOptions options;
    options.files = {QStringLiteral("band.cfg"), QStringLiteral("band.bin")};
    options.openBand = [&hub](quint8 port) {
        return std::make_unique<LinkChannel>(hub.devicePathOfPort(port).toStdString());
    };
    QEventLoop loop;
    QList<BurnReport> reports;
    QObject::connect(&burn, &ParallelBurn::finished, &loop, [&](const QList<BurnReport> &all) {
        reports = all;
        loop.quit();
    });
    const int64_t start = bench::monotonicNs();
    if (!burn.start(places, options))
        return -1;
    loop.exec();
    const double ms = double(bench::monotonicNs() - start) / 1e6;
    for (const BurnReport &report : reports) {
        if (report.outcome != BurnReport::Outcome::Pass)
            return -1;
    }
    return ms;
}

bool measureBurnAll(int runs, int load)
{
    SimulatedHub hub(kManyBands, nullptr, true);
    if (!hub.plugIn())
        return false;
    SimulatedHotplugSource hotplug(hub.bands());
    hotplug.setFirmwareName(QStringLiteral("band.bin"));
    const BusyLoad busy(load);
    Figures one;
    Figures four;
    Figures many;
    for (int run = 0; run < runs; ++run) {
        for (auto [size, figures] : {std::pair{1, &one}, std::pair{kManyBands, &many}, std::pair{4, &four}}) {
            const double ms = timeBurnAll(hub, hotplug, size);
            if (ms < 0)
                ++figures->failures;
            else
                figures->ms.push_back(ms);
        }
    }
    const double ratio = bench::percentile(many.ms, 0.5) / bench::percentile(one.ms, 0.5);
    std::fprintf(stderr, "  burn --all, upgrade to return, pauses included, %s:\n",
                 load ? "under a load of 2 busy threads" : "no load added");
    printFigures("1 band", one);
    printFigures("4 bands", four);
    printFigures("8 bands", many);
    std::fprintf(stderr, "    8 bands / 1 band %.3f; goal within 1.2: %s\n", ratio, ratio <= 1.2 ? "met" : "MISSED");
    std::fprintf(stderr, "    burning station, bands an hour: 1 slot %.0f, 4 slots %.0f, 8 slots %.0f\n",
                 3.6e6 / bench::percentile(one.ms, 0.5), 4 * 3.6e6 / bench::percentile(four.ms, 0.5),
                 kManyBands * 3.6e6 / bench::percentile(many.ms, 0.5));
    return !one.ms.empty() && !many.ms.empty();
}

// The burner's own files in a scratch working folder, where run.log goes too.
bool prepareBurnFolder(const QTemporaryDir &work)
{
    const QString source = QStringLiteral(BURNER_SOURCE_DIR);
    return QDir::setCurrent(work.path()) && QDir().mkdir(QStringLiteral("bin"))
        && QFile::copy(source + QStringLiteral("/bin/band.cfg"), QStringLiteral("bin/band.cfg"))
        && QFile::copy(source + QStringLiteral("/bin/band.bin"), QStringLiteral("bin/band.bin"));
}

} // namespace

int main(int argc, char **argv)
{
    const int testRuns = bench::countArgument(argc, argv, 1, 15);
    const int burnRuns = bench::countArgument(argc, argv, 2, 3);
    if (std::freopen("/dev/null", "w", stdout) == nullptr) // bandlink's trace
        return 1;
    QCoreApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    QTemporaryDir work;
    if (!work.isValid() || !prepareBurnFolder(work)) {
        std::fprintf(stderr, "bench_parallel: cannot prepare a working folder\n");
        return 1;
    }
    std::fprintf(stderr, "bench_parallel (figures only; the goals are printed, not enforced)\n");
    bool ok = true;
    for (int load : {0, 2})
        ok = measureTestAll(testRuns, load) && ok;
    for (int load : {0, 2})
        ok = measureBurnAll(burnRuns, load) && ok;
    return ok ? 0 : 1;
}

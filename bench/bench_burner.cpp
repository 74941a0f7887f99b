// bench_burner: a burn's own cost, and the burner's start-up.
//
// Burn: a 1 MiB image and a small configuration file, from bin/ onto a
// folder standing in for the band's disk, both on local disk under the
// build folder. The two fixed pauses are set to 0, so the time shown is all
// the burn spends beyond them, its flush (fsync of each file and of the
// folder) included. It is set against `cp` of the same files followed by a
// flush of just those files and the folder (`sync FILES FOLDER`, the same
// work: the goal's comparison, within 1.2 x) and, for reference, of the
// whole filesystem (`sync -f`). The shell runs include starting sh, cp and
// sync; that cost alone (`/bin/true && /bin/true`) is printed beside them.
// Start-up: from spawning a fresh copy of this program (which builds the
// window as `burner --simulate` does) to the window's first paint, and that
// child's peak resident memory.
//
// Figures go to standard error.
// Usage: bench_burner [burn runs, default 10] [start-up runs, default 10]
#include "childprocess.h"
#include "startupprobe.h"

#include "burnprocess.h"
#include "startup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sys/vfs.h>
#include <unistd.h>
#include <vector>

namespace {

const QString kCfgName = QStringLiteral("band.cfg");
const QString kBinName = QStringLiteral("band.bin");
constexpr int kImageBytes = 1024 * 1024;

const char *filesystemName(const QString &path)
{
    struct statfs info{};
    if (statfs(QFile::encodeName(path).constData(), &info) != 0)
        return "unknown";
    switch (static_cast<unsigned long>(info.f_type)) {
    case 0xEF53: return "ext2/3/4";
    case 0x01021994: return "tmpfs (memory, flushes cost nothing)";
    case 0x9123683E: return "btrfs";
    case 0x58465342: return "xfs";
    case 0x794C7630: return "overlayfs";
    default: return "other";
    }
}

bool copyInto(const QString &from, const QString &to)
{
    return QDir().mkpath(QFileInfo(to).path()) && QFile::copy(from, to);
}

// def.xml, rc/ and the translations as the burner finds them beside itself;
// bin/ with the small configuration file and a 1 MiB image.
bool prepareWorkFolder()
{
    const QString source = QStringLiteral(BURNER_SOURCE_DIR "/");
    bool ok = copyInto(source + "def.xml", "def.xml") && copyInto(source + "bin/" + kCfgName, "bin/" + kCfgName)
        && QDir().mkpath("disk");
    for (const char *picture : {"tips", "ok", "retry", "reset", "tools-icon"})
        ok = ok && copyInto(source + "rc/" + picture + ".png", QStringLiteral("rc/%1.png").arg(picture));
    for (const char *translation : {"cn.qm", "en.qm"}) // absent ones leave the source texts, as in the program
        copyInto(QStringLiteral(BURNER_BINARY_DIR "/") + translation, translation);

    QByteArray image(kImageBytes, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(image.data()), kImageBytes / 4);
    QFile bin("bin/" + kBinName);
    return ok && bin.open(QIODevice::WriteOnly) && bin.write(image) == kImageBytes;
}

// Empties the disk folder and settles the filesystem, so no run pays for
// the one before.
void clearDisk()
{
    QFile::remove("disk/" + kCfgName);
    QFile::remove("disk/" + kBinName);
    ::sync();
}

// Milliseconds from startBurn to the last step's report; -1 on a failed step.
double timeBurn()
{
    CBurnProcess burn;
    burn.setPauseMs(0);
    int64_t doneNs = 0;
    bool failed = false;
    QObject::connect(&burn, &CBurnProcess::processOk, &burn, [&](uint idx, bool ok) {
        failed = failed || !ok;
        if (idx == 7 && ok)
            doneNs = bench::monotonicNs();
    }, Qt::DirectConnection); // on the burn's thread: no event loop needed here
    const int64_t startNs = bench::monotonicNs();
    burn.startBurn(QDir::currentPath() + "/disk/", BurnFileNames{kCfgName, kBinName});
    burn.wait();
    return failed || doneNs == 0 ? -1 : double(doneNs - startNs) / 1e6;
}

double timeShell(const char *command)
{
    const bench::ChildResult child = bench::runChild({"/bin/sh", "-c", command});
    return child.exitStatus == 0 ? child.elapsedMs : -1;
}

void measureBurn(int runs)
{
    const char *const copyAndSyncFiles = "cp bin/band.cfg bin/band.bin disk/ && sync disk/band.cfg disk/band.bin disk";
    const char *const copyAndSyncFs = "cp bin/band.cfg bin/band.bin disk/ && sync -f disk";
    const char *const startsOnly = "/bin/true && /bin/true";
    std::vector<double> burn, cpFiles, cpFs, starts;
    int failures = 0;
    auto sample = [&](std::vector<double> *times, const std::function<double()> &measure) {
        clearDisk();
        const double ms = measure();
        if (ms < 0)
            ++failures;
        else
            times->push_back(ms);
    };
    // Interleaved, so that a slow spell of the disk touches all of them alike.
    for (int run = 0; run < runs; ++run) {
        sample(&burn, timeBurn);
        sample(&cpFiles, [&] { return timeShell(copyAndSyncFiles); });
        sample(&cpFs, [&] { return timeShell(copyAndSyncFs); });
        sample(&starts, [&] { return timeShell(startsOnly); });
    }
    clearDisk();

    const double burnMs = bench::percentile(burn, 0.5);
    const double filesMs = bench::percentile(cpFiles, 0.5);
    const double fsMs = bench::percentile(cpFs, 0.5);
    const double startsMs = bench::percentile(starts, 0.5);
    std::fprintf(stderr,
                 "burn of %d KiB + %lld B, pauses 0, %d runs (%d failed), disk folder on %s under %s:\n"
                 "  burn median %.1f ms (max %.1f)\n"
                 "  cp + sync FILES FOLDER median %.1f ms -> burn/cp %.3f (the goal's comparison)\n"
                 "  cp + sync -f (whole filesystem) median %.1f ms -> burn/cp %.3f\n"
                 "  starting sh and two programs alone (/bin/true twice) median %.1f ms, part of both cp figures\n"
                 "  goal burn within 1.2 x cp + sync FILES FOLDER: %s\n",
                 kImageBytes / 1024, static_cast<long long>(QFileInfo("bin/" + kCfgName).size()), runs,
                 failures, filesystemName("disk"), BENCH_SCRATCH_DIR, burnMs, bench::percentile(burn, 1.0), filesMs,
                 burnMs / filesMs, fsMs, burnMs / fsMs, startsMs, burnMs / filesMs <= 1.2 ? "met" : "MISSED");
}

} // namespace

int main(int argc, char **argv)
{
    const int64_t mainNs = bench::monotonicNs(); // first thing, for the start-up child
    if (argc > 1 && std::strcmp(argv[1], bench::kStartupChild) == 0) {
        return bench::runStartupChild(argc, argv, mainNs, [](QApplication &app) {
            return runBurner(app, {QStringLiteral("burner"), QStringLiteral("--simulate")});
        });
    }

    const int runs = bench::countArgument(argc, argv, 1, 10);
    const int startupRuns = bench::countArgument(argc, argv, 2, 10);
    bench::installQuietMessageHandler();
    QCoreApplication app(argc, argv);

    // Under the build folder: local disk, where /tmp may be memory.
    QTemporaryDir workDir(QStringLiteral(BENCH_SCRATCH_DIR "/bench_burner-XXXXXX"));
    if (!workDir.isValid() || !QDir::setCurrent(workDir.path()) || !prepareWorkFolder()) {
        std::fprintf(stderr, "bench_burner: cannot prepare a working folder in %s\n", BENCH_SCRATCH_DIR);
        return 1;
    }
    std::fprintf(stderr, "bench_burner (figures only; the goals are printed, not enforced)\n");
    measureBurn(runs);
    bench::printStartupFigures(startupRuns);
    QDir::setCurrent(QDir::tempPath());
    return 0;
}

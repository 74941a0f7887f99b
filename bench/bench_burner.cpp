// bench_burner: a burn's own cost, and the burner's start-up.
//
// Burn: a small configuration file and an image of 1, 16 and 128 MiB, from
// bin/ onto a folder standing in for the band's disk, both on local disk
// under the build folder. The two fixed pauses are set to 0, so the time
// shown is all the burn spends beyond them: its checks, log records, the
// copy in pieces, the flushes (each file and then its folder entry, so
// that each copy is on the device before it is reported), the read-back of
// each file from the device past the page cache with its comparison, and
// the SHA-256 of each file for the record. The floor is the same copies,
// flushes and read-backs done in this process with nothing else: read and
// write each file with a 1 MiB buffer, fsync it, fsync the folder, drop the
// file's cached pages and read it back; the read-back's own share of the
// floor is printed too. Burn and floor runs alternate, so that a slow spell
// of the disk touches both alike; medians with min and max are printed side
// by side, once on the machine as it is and once under a load of two busy
// threads that spin for the whole measurement.
// Start-up: from spawning a fresh copy of this program (which builds the
// window as `burner --simulate` does) to the window's first paint, and that
// child's peak resident memory.
//
// Figures go to standard error.
// Usage: bench_burner [burn runs per size, default 9] [start-up runs, default 10]
#include "busyload.h"
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
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/vfs.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const QString kCfgName = QStringLiteral("band.cfg");
const QString kBinName = QStringLiteral("band.bin");

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
// bin/ with the small configuration file.
bool prepareWorkFolder()
{
    const QString source = QStringLiteral(BURNER_SOURCE_DIR "/");
    bool ok = copyInto(source + "def.xml", "def.xml") && copyInto(source + "bin/" + kCfgName, "bin/" + kCfgName)
        && QDir().mkpath("disk");
    for (const char *picture : {"tips", "ok", "retry", "reset", "tools-icon"})
        ok = ok && copyInto(source + "rc/" + picture + ".png", QStringLiteral("rc/%1.png").arg(picture));
    for (const char *translation : {"cn.qm", "en.qm"}) // absent ones leave the source texts, as in the program
        copyInto(QStringLiteral(BURNER_BINARY_DIR "/") + translation, translation);
    return ok;
}

// An image of random bytes, so that no filesystem can shortcut it.
bool writeImage(qint64 bytes)
{
    QByteArray piece(1024 * 1024, Qt::Uninitialized);
    QRandomGenerator random(7);
    QFile bin("bin/" + kBinName);
    if (!bin.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    for (qint64 written = 0; written < bytes; written += piece.size()) {
        random.fillRange(reinterpret_cast<quint32 *>(piece.data()), piece.size() / 4);
        if (bin.write(piece) != piece.size())
            return false;
    }
    return true;
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

bool syncFolder(const char *path)
{
    const int folder = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool ok = folder >= 0 && ::fsync(folder) == 0;
    if (folder >= 0)
        ::close(folder);
    return ok;
}

// Drops the file's cached pages (it has been flushed) and reads it back
// from the device with a 1 MiB buffer.
bool readBack(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    bool ok = fd >= 0 && ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
    std::vector<char> buffer(1024 * 1024);
    while (ok) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got <= 0) {
            ok = got == 0;
            break;
        }
    }
    if (fd >= 0)
        ::close(fd);
    return ok;
}

bool copyAndSync(const QString &from, const QString &to)
{
    const int in = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(QFile::encodeName(to).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    bool ok = in >= 0 && out >= 0;
    std::vector<char> buffer(1024 * 1024);
    while (ok) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        ok = ::write(out, buffer.data(), size_t(got)) == got;
    }
    ok = ok && ::fsync(out) == 0;
    if (in >= 0)
        ::close(in);
    if (out >= 0)
        ::close(out);
    return ok && syncFolder("disk");
}

// The read-backs' share of the last floor, ms.
double lastReadBackMs = 0;

// The floor: the same two files copied and flushed, each with its folder,
// and read back from the device.
double timeFloor()
{
    const int64_t startNs = bench::monotonicNs();
    int64_t readBackNs = 0;
    const auto copyThenRead = [&readBackNs](const QString &name) {
        if (!copyAndSync("bin/" + name, "disk/" + name))
            return false;
        const int64_t readStartNs = bench::monotonicNs();
        const bool ok = readBack("disk/" + name);
        readBackNs += bench::monotonicNs() - readStartNs;
        return ok;
    };
    const bool ok = copyThenRead(kCfgName) && copyThenRead(kBinName);
    lastReadBackMs = double(readBackNs) / 1e6;
    return ok ? double(bench::monotonicNs() - startNs) / 1e6 : -1;
}


void measureBurn(int runs, int load)
{
    const BusyLoad busy(load);
    std::fprintf(stderr, "burn with pauses 0 against its floor (in-process copy + fsync of each file and the folder "
                         "+ read-back past the page cache), %d runs each, %s, disk folder on %s under %s:\n"
                         "  image     burn median [min..max] ms     floor median [min..max] ms    burn/floor"
                         "   read-back in floor median [min..max] ms\n",
                 runs, load ? "under a load of 2 busy threads" : "no load added", filesystemName("disk"),
                 BENCH_SCRATCH_DIR);
    for (const int mib : {1, 16, 128}) {
        if (!writeImage(qint64(mib) * 1024 * 1024)) {
            std::fprintf(stderr, "  %3d MiB: cannot write the image\n", mib);
            continue;
        }
        std::vector<double> burn, floor, readBacks;
        int failures = 0;
        auto sample = [&](std::vector<double> *times, double (*measure)()) {
            clearDisk();
            const double ms = measure();
            if (ms < 0)
                ++failures;
            else
                times->push_back(ms);
        };
        for (int run = 0; run < runs; ++run) {
            sample(&burn, timeBurn);
            sample(&floor, timeFloor);
            readBacks.push_back(lastReadBackMs);
        }
        clearDisk();
        if (burn.empty() || floor.empty()) {
            std::fprintf(stderr, "  %3d MiB: every run failed\n", mib);
            continue;
        }
        const double burnMs = bench::percentile(burn, 0.5);
        const double floorMs = bench::percentile(floor, 0.5);
        std::fprintf(stderr, "  %3d MiB   %8.1f [%7.1f..%7.1f]       %8.1f [%7.1f..%7.1f]       %.2f         %7.1f [%.1f..%.1f]%s\n",
                     mib, burnMs, bench::percentile(burn, 0.0), bench::percentile(burn, 1.0), floorMs,
                     bench::percentile(floor, 0.0), bench::percentile(floor, 1.0), burnMs / floorMs,
                     bench::percentile(readBacks, 0.5), bench::percentile(readBacks, 0.0),
                     bench::percentile(readBacks, 1.0), failures ? " (some runs failed)" : "");
    }
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

    const int runs = bench::countArgument(argc, argv, 1, 9);
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
    measureBurn(runs, 0);
    measureBurn(runs, 2);
    bench::printStartupFigures(startupRuns);
    QDir::setCurrent(QDir::tempPath());
    return 0;
}

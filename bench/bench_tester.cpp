// bench_tester: the tester's whole test sequence against a virtual band
// pacing its wire at 115200 bit/s, and the tester's start-up.
//
// Sequence: the time from pressing the test button to the SUCCESS box
// appearing, against the floor its exchanges cost on the wire (each reply
// 20 ms, every byte 86.8 us, plus the program's 5 ms pause between setting
// and reading the clock). A ratio near 1 means the program adds little.
// bandlink sends a command and then waits its 20 ms before reading, so the
// bytes cross the wire inside that wait: a ratio under 1 is expected, and
// the second floor (20 ms an exchange, no wire time) shows the overhead.
// Start-up: from spawning a fresh copy of this program (which builds the
// window as the tester does) to the window's first paint, and that child's
// peak resident memory.
//
// Figures go to standard error; bandlink's trace goes to /dev/null.
// Usage: bench_tester [sequence runs, default 20] [start-up runs, default 10]
#include "childprocess.h"
#include "startupprobe.h"

#include "comthread.h"
#include "mainwindow.h"
#include "simulatedband.h"
#include "startup.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

namespace {

constexpr double kReplyPauseMs = 20.0;
constexpr double kByteUs = 86.8;
constexpr double kClockPauseMs = 5.0; // the sequence's pause between setting and reading the clock

// Wire bytes (command + reply) of the sequence's exchanges, in order.
constexpr int kRepliedExchangeBytes[] = {6 + 16, 12 + 7, 6 + 12, 12 + 7, 6 + 12};
constexpr int kResetBytes = 6; // no reply

// withWire false: the wire time hidden inside each reply pause.
double floorMs(bool withWire)
{
    double ms = kClockPauseMs + kResetBytes * kByteUs / 1000.0;
    for (int bytes : kRepliedExchangeBytes)
        ms += kReplyPauseMs + (withWire ? bytes * kByteUs / 1000.0 : 0);
    return ms;
}

bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.hasExpired(timeoutMs))
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Presses the button and returns the time until a message box shows, which
// is closed at once; *title gets the box's title.
double pressUntilBox(QPushButton *button, QString *title)
{
    int64_t shownNs = 0;
    QTimer closer;
    closer.setInterval(0); // fires as soon as the box's own event loop runs
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            shownNs = bench::monotonicNs();
            *title = box->windowTitle();
            closer.stop();
            box->accept();
        }
    });
    closer.start();
    const int64_t pressNs = bench::monotonicNs();
    button->click(); // returns once the sequence and its box are over
    return shownNs ? double(shownNs - pressNs) / 1e6 : -1;
}

bool measureSequence(int runs)
{
    SimulatedBand band(nullptr, true);
    band.setReplugDelayAfterReset(200);
    if (!band.plugIn()) {
        std::fprintf(stderr, "bench_tester: cannot plug in the virtual band\n");
        return false;
    }
    MainWindow window(&band);
    auto *button = window.findChild<QPushButton *>(QStringLiteral("pbTest"));
    auto *watcher = window.findChild<CComThread *>();
    if (!button || !watcher) {
        std::fprintf(stderr, "bench_tester: the window has no pbTest button or port watcher\n");
        return false;
    }
    // Only shortens the wait for the re-plugged band between runs.
    watcher->setPollInterval(50);
    int connects = 0;
    QObject::connect(watcher, &CComThread::SBConnected, &window, [&](bool up) { connects += up; });
    window.show();
    if (!window.init()) {
        std::fprintf(stderr, "bench_tester: def.xml unusable\n");
        return false;
    }

    std::vector<double> latencies;
    int failures = 0;
    for (int run = 0; run < runs; ++run) {
        // Each reset drops the band off its port; the watcher must see it back.
        if (!waitUntil([&] { return connects > run && band.isPluggedIn() && button->isEnabled(); }, 10000)) {
            std::fprintf(stderr, "bench_tester: the band did not come back after run %d\n", run);
            break;
        }
        QString title;
        const double ms = pressUntilBox(button, &title);
        if (title == QLatin1StringView("SUCCESS"))
            latencies.push_back(ms);
        else
            ++failures;
    }

    const double floor = floorMs(true);
    const double pauseFloor = floorMs(false);
    const double median = bench::percentile(latencies, 0.5);
    const double p99 = bench::percentile(latencies, 0.99);
    std::fprintf(stderr,
                 "test sequence, %zu runs (%d failed), press to SUCCESS box:\n"
                 "  median %.1f ms, p99 %.1f ms\n"
                 "  floor (20 ms + wire bytes an exchange) %.1f ms: median/floor %.3f, p99/floor %.3f\n"
                 "  floor of the reply pauses alone %.1f ms: median/floor %.3f, p99/floor %.3f\n"
                 "  goal median within 1.10 x floor: %s\n",
                 latencies.size(), failures, median, p99, floor, median / floor, p99 / floor, pauseFloor,
                 median / pauseFloor, p99 / pauseFloor, median / floor <= 1.10 ? "met" : "MISSED");
    return !latencies.empty();
}

bool writeDefinition(const char *path)
{
    QFile::remove(QStringLiteral("def.xml"));
    return QFile::copy(QString::fromUtf8(path), QStringLiteral("def.xml"));
}

} // namespace

int main(int argc, char **argv)
{
    const int64_t mainNs = bench::monotonicNs(); // first thing, for the start-up child
    if (argc > 1 && std::strcmp(argv[1], bench::kStartupChild) == 0) {
        return bench::runStartupChild(argc, argv, mainNs, [](QApplication &app) {
            return runTester(app, {QStringLiteral("tester"), QStringLiteral("--simulate")});
        });
    }

    const int runs = bench::countArgument(argc, argv, 1, 20);
    const int startupRuns = bench::countArgument(argc, argv, 2, 10);
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        return 1;
    bench::installQuietMessageHandler();
    QApplication app(argc, argv);

    // The tester reads def.xml from its working folder; so will the children.
    QTemporaryDir workDir;
    if (!workDir.isValid() || !QDir::setCurrent(workDir.path()) || !writeDefinition(TESTER_DEF_XML)) {
        std::fprintf(stderr, "bench_tester: cannot prepare a working folder with def.xml\n");
        return 1;
    }
    std::fprintf(stderr, "bench_tester (figures only; the goals are printed, not enforced)\n");
    const bool sequenceOk = measureSequence(runs);
    bench::printStartupFigures(startupRuns);
    QDir::setCurrent(QDir::tempPath());
    return sequenceOk ? 0 : 1;
}

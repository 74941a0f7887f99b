// bench_tester: the tester's whole test sequence against a virtual band
// pacing its wire at 115200 bit/s, how soon a plugged band enables the test
// button, and the tester's start-up.
//
// Sequence: the time from pressing the test button to the SUCCESS box
// appearing, in several rounds, against the floor the protocol itself
// demands: 20 ms after each of the ten commands with a reply and the 5 ms
// between setting and reading the clock, slept here in the same rounds so
// that the machine's sleep overshoot counts in the floor. The replies cross
// the wire inside those pauses, so they cost nothing extra; on a real port
// each command's own bytes go out before its pause, which the printed
// real-port floor adds (86.8 us a byte). A ratio near 1 means the program
// adds little.
// Port to button: from the band's serial port appearing to the test button
// being enabled, with the watcher's production poll of once a second; the
// port's notice makes the watcher poll at once. The same is measured with
// the notice withheld, which is what the poll alone gives.
// Start-up: from spawning a fresh copy of this program (which builds the
// window as the tester does) to the window's first paint, and that child's
// peak resident memory.
//
// Figures go to standard error; bandlink's trace goes to /dev/null.
// Usage: bench_tester [sequence runs a round, default 10] [start-up runs,
//        default 10] [rounds, default 5]
#include "childprocess.h"
#include "startupprobe.h"

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
#include <QRandomGenerator>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr double kReplyPauseMs = 20.0;
constexpr double kByteUs = 86.8;
constexpr double kClockPauseMs = 5.0; // the sequence's pause between setting and reading the clock
// Version, set and read the clock, write and read the LEDs and the settings,
// read, write and read the alarms (the shipped def.xml has no table of its own).
constexpr int kRepliedExchanges = 10;
// Command bytes of the sequence: those ten and the restart, which has no reply.
constexpr int kCommandBytes = 6 + 12 + 6 + 8 + 6 + 12 + 6 + 6 + 38 + 6 + 6;

double msSince(int64_t startNs)
{
    return double(bench::monotonicNs() - startNs) / 1e6;
}

// The protocol's own pauses as they sleep on this machine now, slept the
// way bandlink and the sequence sleep them.
double sleptPausesMs()
{
    const int64_t start = bench::monotonicNs();
    for (int i = 0; i < kRepliedExchanges; ++i)
        std::this_thread::sleep_for(std::chrono::microseconds(int(kReplyPauseMs * 1000)));
    QThread::msleep(unsigned(kClockPauseMs));
    return msSince(start);
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

// "median 1.0 ms, p10 .. p90 ..., min ... max ..."
void printSpread(const char *indent, const std::vector<double> &ms)
{
    std::fprintf(stderr, "%smedian %.1f ms, p10 %.1f, p90 %.1f, min %.1f, max %.1f (%zu runs)\n", indent,
                 bench::percentile(ms, 0.5), bench::percentile(ms, 0.1), bench::percentile(ms, 0.9),
                 bench::percentile(ms, 0.0), bench::percentile(ms, 1.0), ms.size());
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
    button->click(); // the sequence runs on its own thread; the box opens when it ends
    waitUntil([&] { return shownNs != 0; }, 10000);
    return shownNs ? double(shownNs - pressNs) / 1e6 : -1;
}

struct TesterUnderTest {
    std::unique_ptr<MainWindow> window;
    QPushButton *button = nullptr;
};

TesterUnderTest startTester(const PortSource *ports)
{
    TesterUnderTest t{std::make_unique<MainWindow>(ports), nullptr};
    t.button = t.window->testButton();
    t.window->show();
    if (!t.button || !t.window->init()) {
        std::fprintf(stderr, "bench_tester: def.xml is unusable\n");
        return {};
    }
    return t;
}

bool measureSequence(int runs, int rounds)
{
    SimulatedBand band(nullptr, true);
    band.setReplugDelayAfterReset(20);
    TesterUnderTest tester = startTester(&band);
    if (!tester.window)
        return false;
    int connects = 0;
    bool present = false;
    SlotManager *slot = tester.window->slotManager();
    QObject::connect(slot, &SlotManager::changed, tester.window.get(), [&] {
        connects += slot->present(0) && !present;
        present = slot->present(0);
    });
    if (!band.plugIn()) {
        std::fprintf(stderr, "bench_tester: cannot plug in the virtual band\n");
        return false;
    }

    std::vector<double> all, roundMedians, pauses;
    int failures = 0;
    for (int round = 0; round < rounds; ++round) {
        std::vector<double> latencies;
        for (int i = 0; i < 3; ++i)
            pauses.push_back(sleptPausesMs());
        for (int run = 0; run < runs; ++run) {
            if (!waitUntil([&] { return connects > 0 && band.isPluggedIn() && tester.button->isEnabled(); }, 10000)) {
                std::fprintf(stderr, "bench_tester: the band did not come back\n");
                return false;
            }
            const int seen = connects;
            QString title;
            const double ms = pressUntilBox(tester.button, &title);
            if (title == QLatin1StringView("SUCCESS"))
                latencies.push_back(ms);
            else
                ++failures;
            // The reset drops the band off its port; it is back 20 ms later.
            waitUntil([&] { return connects > seen; }, 10000);
        }
        roundMedians.push_back(bench::percentile(latencies, 0.5));
        all.insert(all.end(), latencies.begin(), latencies.end());
    }

    const double floor = bench::percentile(pauses, 0.5);
    const double wireMs = kCommandBytes * kByteUs / 1000.0;
    const double median = bench::percentile(all, 0.5), p90 = bench::percentile(all, 0.9);
    std::fprintf(stderr, "test sequence, %d rounds of %d runs (%d failed), press to SUCCESS box:\n", rounds, runs,
                 failures);
    printSpread("  all runs: ", all);
    std::fprintf(stderr, "  round medians:");
    for (double m : roundMedians)
        std::fprintf(stderr, " %.1f", m);
    std::fprintf(stderr, " ms (spread %.1f ms)\n",
                 bench::percentile(roundMedians, 1.0) - bench::percentile(roundMedians, 0.0));
    std::fprintf(stderr,
                 "  floor: the protocol's pauses (%d x 20 ms + 5 ms) as slept here, median %.1f ms (min %.1f, max %.1f)\n"
                 "  median/floor %.3f, p90/floor %.3f\n"
                 "  on a real port the %d command bytes add %.1f ms to the floor (%.1f ms)\n"
                 "  goal median within 1.10 x floor: %s\n",
                 kRepliedExchanges, floor, bench::percentile(pauses, 0.0), bench::percentile(pauses, 1.0), median / floor, p90 / floor,
                 kCommandBytes, wireMs, floor + wireMs, !all.empty() && median / floor <= 1.10 ? "met" : "MISSED");
    return !all.empty();
}

// The simulated band's ports without its notice of changes: what the
// watcher's once-a-second poll alone gives.
class PollOnlyPorts : public PortSource {
public:
    explicit PollOnlyPorts(const PortSource &ports) : ports(ports) {}
    QList<SerialPortEntry> availablePorts() const override { return ports.availablePorts(); }

private:
    const PortSource &ports;
};

// Records when a widget becomes enabled.
struct EnabledClock : QObject {
    int64_t enabledNs = 0;
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() == QEvent::EnabledChange && static_cast<QWidget *>(object)->isEnabled())
            enabledNs = bench::monotonicNs();
        return false;
    }
};

// From plugging the band in to the test button enabled, with the watcher's
// production poll of once a second. Plugs in at random moments of that
// second, since the poll alone depends on the phase.
std::vector<double> portToButton(SimulatedBand &band, const PortSource &ports, int runs)
{
    TesterUnderTest tester = startTester(&ports);
    std::vector<double> latencies;
    if (!tester.window)
        return latencies;
    EnabledClock clock;
    tester.button->installEventFilter(&clock);
    for (int run = 0; run < runs; ++run) {
        band.unplug();
        if (!waitUntil([&] { return !tester.button->isEnabled(); }, 5000))
            break;
        waitUntil([] { return false; }, QRandomGenerator::global()->bounded(1000));
        clock.enabledNs = 0;
        const int64_t plugNs = bench::monotonicNs();
        if (!band.plugIn() || !waitUntil([&] { return clock.enabledNs != 0; }, 5000))
            break;
        latencies.push_back(double(clock.enabledNs - plugNs) / 1e6);
    }
    band.unplug();
    return latencies;
}

bool measurePortToButton(int runs)
{
    SimulatedBand band;
    const PollOnlyPorts pollOnly(band);

    // One poll of the list and the signal's way to the window: the floor.
    std::vector<double> pollMs;
    for (int i = 0; i < 100; ++i) {
        const int64_t start = bench::monotonicNs();
        band.availablePorts();
        pollMs.push_back(msSince(start));
    }

    const std::vector<double> withNotice = portToButton(band, band, runs);
    const std::vector<double> pollAlone = portToButton(band, pollOnly, std::min(runs, 10));
    const double median = bench::percentile(withNotice, 0.5);
    std::fprintf(stderr, "band's port appearing to the test button enabled (poll once a second):\n");
    std::fprintf(stderr, "  the watcher told of the new port at once:\n");
    printSpread("    ", withNotice);
    std::fprintf(stderr, "  the poll alone, notice withheld:\n");
    printSpread("    ", pollAlone);
    std::fprintf(stderr, "  one poll of the port list %.3f ms; goal median <= 50 ms: %s\n",
                 bench::percentile(pollMs, 0.5), !withNotice.empty() && median <= 50 ? "met" : "MISSED");
    return size_t(runs) == withNotice.size();
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

    const int runs = bench::countArgument(argc, argv, 1, 10);
    const int startupRuns = bench::countArgument(argc, argv, 2, 10);
    const int rounds = bench::countArgument(argc, argv, 3, 5);
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
    const bool sequenceOk = measureSequence(runs, rounds);
    const bool portOk = measurePortToButton(2 * runs);
    bench::printStartupFigures(startupRuns);
    QDir::setCurrent(QDir::tempPath());
    return sequenceOk && portOk ? 0 : 1;
}

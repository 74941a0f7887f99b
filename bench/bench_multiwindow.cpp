// Memory of the multi-up windows: the resident set of a tester and a burner
// with 8 panels after a full round on 8 simulated bands, beside the same
// program's single-band window after one band's round, each in a child
// process of its own, several runs alternating, medians and spread.
// Built twice, once per program (BENCH_TESTER or BENCH_BURNER), since both
// programs name their window MainWindow.
#include "bandhub.h"
#include "childprocess.h"
#include "simulatedband.h"
#ifdef BENCH_TESTER
#include "mainwindow.h"
#include "multitestwindow.h"
#else
#include "diskhub.h"
#include "multiburnwindow.h"
#endif

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

namespace {

constexpr int kRuns = 5;
constexpr int kRoundTimeoutMs = 60000;

// A picture of the window after its round, when MULTI_GRAB names a file.
void grabIfAsked(QWidget &window)
{
    if (qEnvironmentVariableIsSet("MULTI_GRAB"))
        window.grab().save(qEnvironmentVariable("MULTI_GRAB"));
}

// Resident set now, in MiB, from /proc/self/status.
double residentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

void prepareStation(const QString &folder)
{
    QDir::setCurrent(folder);
    QDir().mkpath(QStringLiteral("bin"));
    const QDir source(QStringLiteral(BURNER_BINARY_DIR));
    for (const char *file : {"def.xml", "bin/band.cfg", "bin/band.bin"})
        QFile::copy(source.filePath(QString::fromLatin1(file)), QString::fromLatin1(file));
    // The tester reads the wearer from the same def.xml name: a station
    // folder holds one program's def.xml, so the tester's child gets its own.
}

bool waitFor(const std::function<bool()> &done)
{
    return QTest::qWaitFor(done, kRoundTimeoutMs);
}

// One child: builds the window, runs one round, prints its resident set.
int runChild(const std::string &what)
{
    int argc = 1;
    char name[] = "bench_multiwindow";
    char *argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QTemporaryDir station;
    prepareStation(station.path());
    bool ok = false;
#ifdef BENCH_TESTER
    QFile::remove(QStringLiteral("def.xml"));
    QFile::copy(QStringLiteral(TESTER_DEF_XML), QStringLiteral("def.xml"));
    if (what == "tester1") {
        SimulatedBand band;
        band.setReplugDelayAfterReset(-1);
        MainWindow window(&band);
        window.show();
        window.init();
        band.plugIn();
        // The result box is closed as an operator would.
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                box->accept();
        });
        closer.start(20);
        auto *button = window.testButton();
        ok = waitFor([&] { return button->isEnabled(); });
        window.slotOnpbTest();
        ok = ok && waitFor([&] { return !band.isPluggedIn(); }); // restarted after its pass
        QTest::qWait(500);
        std::printf("\nresident-mib %.2f\n", residentMiB());
    } else if (what == "tester8") {
        BandHub hub(8);
        for (int i = 0; i < 8; ++i)
            hub.plugIn(i);
        MultiTestWindow window(8, true, &hub);
        window.show();
        window.init(100);
        ok = waitFor([&] {
            for (int i = 0; i < 8; ++i)
                if (window.grid()->panel(i)->verdict() != BandPanel::Verdict::Pass)
                    return false;
            return true;
        });
        QTest::qWait(500);
        grabIfAsked(window);
        std::printf("\nresident-mib %.2f\n", residentMiB());
    }
#else
    if (what == "burner1" || what == "burner8") {
        const int count = what == "burner1" ? 1 : 8;
        BandHub hub(count);
        DiskHub disks(hub, count);
        for (int i = 0; i < count; ++i)
            hub.plugIn(i);
        // One slot is the single window's work on one band; the panel
        // window is used for both so that only the count differs.
        MultiBurnWindow window(std::max(count, 2), true, &hub, &disks);
        window.setPauseMs(0);
        window.show();
        window.init(100);
        ok = waitFor([&] {
            for (int i = 0; i < count; ++i)
                if (window.grid()->panel(i)->verdict() != BandPanel::Verdict::Pass)
                    return false;
            return true;
        });
        QTest::qWait(500);
        grabIfAsked(window);
        std::printf("\nresident-mib %.2f\n", residentMiB());
    }
#endif
    std::fflush(stdout);
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0)
        return runChild(argv[2]);

#ifdef BENCH_TESTER
    const std::vector<std::string> kinds = {"tester1", "tester8"};
#else
    const std::vector<std::string> kinds = {"burner1", "burner8"};
#endif
    std::map<std::string, std::vector<double>> rss;
    for (int run = 0; run < kRuns; ++run) {
        for (const std::string &kind : kinds) {
            const bench::ChildResult child = bench::runChild({argv[0], "--child", kind});
            if (child.exitStatus != 0) {
                std::fprintf(stderr, "bench_multiwindow: the %s round did not finish\n", kind.c_str());
                return 1;
            }
            // The protocol trace shares standard output; the figure has its own line.
            const size_t at = child.output.rfind("resident-mib ");
            if (at == std::string::npos) {
                std::fprintf(stderr, "bench_multiwindow: the %s round gave no figure\n", kind.c_str());
                return 1;
            }
            rss[kind].push_back(std::stod(child.output.substr(at + 13)));
        }
    }
    std::printf("Resident memory after a full round (MiB), %d runs each, offscreen: median [min..max]\n", kRuns);
    const auto row = [&](const char *label, const std::string &kind) {
        const std::vector<double> &v = rss[kind];
        std::printf("  %-42s %7.1f [%.1f..%.1f]\n", label, bench::percentile(v, 0.5), bench::percentile(v, 0.0),
                    bench::percentile(v, 1.0));
    };
    const std::string one = kinds[0];
    const std::string eight = kinds[1];
#ifdef BENCH_TESTER
    row("tester, single-band window, 1 band", one);
    row("tester, 8 panels, 8 bands", eight);
#else
    row("burner, panel window, 1 band", one);
    row("burner, 8 panels, 8 bands", eight);
#endif
    std::printf("  each band beyond the first: %.2f MiB\n",
                (bench::percentile(rss[eight], 0.5) - bench::percentile(rss[one], 0.5)) / 7.0);
    return 0;
}

// bench_lineserver: the line's server under a line's load, and at scale
// (what TLS costs a forward: bench_tls).
//
// Forward: 20 stations in this process, each writing one tester record a
// second (RecordStore::write, its forwarder sending it at once) for the
// given time, against a throwaway PostgreSQL server. Printed: the write's
// spread at the station (floor: a 4 KiB write + fdatasync on the same disk),
// the delay from a run's end to the server's notice of its row (p50/p99;
// floor: a notice sent and received on an idle connection), and the
// server's CPU over the run (every server process, the ended ones too).
// Scale: yield (whole days, all stations and one), the line's summary and
// one band's history over 1 and 10 million runs, end to end as bandctl runs
// them (login, sending what waits, the query); floors: a SELECT 1 round
// trip and a COUNT(*) of the runs.
//
// Figures go to standard error.
// Usage: bench_lineserver [forward seconds, default 300] [largest table in millions, default 10]
#include "childprocess.h"
#include "linefill.h"
#include "syncedwrites.h"

#include "connections.h"
#include "linetables.h"
#include "pgcluster.h"
#include "recordcommands.h"
#include "recordstore.h"
#include "recordtesting.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QRandomGenerator>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

using bench::exec;
using bench::fillRuns;

constexpr int kStations = 20;

double msSince(int64_t startNs)
{
    return double(bench::monotonicNs() - startNs) / 1e6;
}

void printSpread(const char *what, const std::vector<double> &ms)
{
    std::fprintf(stderr, "  %-50s median %8.2f ms  p99 %8.2f ms  max %8.2f ms  (n=%zu)\n", what,
                 bench::percentile(ms, 0.5), bench::percentile(ms, 0.99), bench::percentile(ms, 1.0), ms.size());
}

// CPU seconds of the server's processes so far: the postmaster, its live
// children, and the children it has reaped.
double serverCpuSeconds(const QString &dataDir)
{
    QFile pidFile(QDir(dataDir).filePath("postmaster.pid"));
    if (!pidFile.open(QIODevice::ReadOnly))
        return 0;
    const int postmaster = pidFile.readLine().trimmed().toInt();
    const double tick = double(sysconf(_SC_CLK_TCK));
    double seconds = 0;
    for (const QString &entry : QDir("/proc").entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (entry.toInt() <= 0 || !stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (f.size() < 15)
            continue;
        const bool isPostmaster = entry.toInt() == postmaster;
        if (!isPostmaster && f[1].toInt() != postmaster)
            continue;
        // utime, stime (fields 14, 15), and for the postmaster its reaped children's.
        seconds += (f[11].toDouble() + f[12].toDouble()) / tick;
        if (isPostmaster)
            seconds += (f[13].toDouble() + f[14].toDouble()) / tick;
    }
    return seconds;
}

RunRecord testerRun(RecordStore &store, int i)
{
    RunRecord r = store.begin(QStringLiteral("tester"));
    r.unit = QStringLiteral("aa:bb:cc:%1:%2:%3").arg(i % 256, 2, 16, QLatin1Char('0')).arg((i / 256) % 256, 2, 16, QLatin1Char('0')).arg(QRandomGenerator::global()->bounded(256), 2, 16, QLatin1Char('0'));
    r.details = {{"version", "1.2.3.4"}, {"time_sent", "2026-12-07 08:00:00"}, {"time_read", "2026-12-07 08:00:00"}};
    r.finish(i % 10 == 0 ? RunOutcome::Fail : RunOutcome::Pass, i % 10 == 0 ? QStringLiteral("3.读取时间") : QString());
    return r;
}

void benchForward(PgCluster &cluster, int seconds)
{
    std::fprintf(stderr, "Forwarding: %d stations, one run a second each, for %d s\n", kStations, seconds);
    QTemporaryDir root(QDir::current().filePath("line-XXXXXX"));
    std::vector<std::unique_ptr<RecordStore>> stations;
    for (int s = 0; s < kStations; ++s) {
        const QString folder = QDir(root.path()).filePath(QStringLiteral("station-%1").arg(s));
        QDir().mkpath(folder);
        writeStationIni(folder, QStringLiteral("station-%1").arg(s), cluster.url());
        stations.push_back(std::make_unique<RecordStore>(folder, 30000));
    }

    // The server's notice of each new row, against the run's end.
    const QString listener = uniqueConnectionName("listen");
    QSqlDatabase notices = cluster.session(listener);
    QHash<QString, int64_t> ended;
    std::vector<double> delays, writes, noticeFloor;
    QObject::connect(notices.driver(), &QSqlDriver::notification,
                     [&](const QString &, QSqlDriver::NotificationSource, const QVariant &payload) {
                         const auto it = ended.constFind(payload.toString());
                         if (it != ended.constEnd())
                             delays.push_back(msSince(*it));
                     });
    notices.driver()->subscribeToNotification(kNewRunChannel);
    // Floor: the same notice sent from another session and received here, idle server.
    {
        const QString sender = uniqueConnectionName("notify");
        QSqlDatabase db = cluster.session(sender);
        for (int i = 0; i < 50; ++i) {
            const QString id = QStringLiteral("floor-%1").arg(i);
            ended.insert(id, bench::monotonicNs());
            exec(db, QStringLiteral("SELECT pg_notify('%1', '%2')").arg(kNewRunChannel, id));
            QElapsedTimer wait;
            wait.start();
            while (delays.size() < size_t(i + 1) && wait.elapsed() < 2000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        noticeFloor.swap(delays);
    }

    const double cpuBefore = serverCpuSeconds(cluster.dataDirectory());
    QElapsedTimer clock;
    clock.start();
    int runs = 0;
    // Each station's run at its own moment within the second.
    QTimer tick;
    tick.setInterval(1000 / kStations);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        RecordStore &store = *stations[runs % kStations];
        RunRecord r = testerRun(store, runs);
        const int64_t start = bench::monotonicNs();
        if (!store.write(r))
            std::fprintf(stderr, "write failed: %s\n", qPrintable(store.problem()));
        writes.push_back(msSince(start));
        ended.insert(r.id.toString(QUuid::WithoutBraces), start);
        ++runs;
    });
    tick.start();
    while (clock.elapsed() < qint64(seconds) * 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    tick.stop();
    QElapsedTimer drain;
    drain.start();
    while (delays.size() < size_t(runs) && drain.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    const double cpu = serverCpuSeconds(cluster.dataDirectory()) - cpuBefore;
    const double wall = double(clock.elapsed()) / 1000;
    stations.clear();

    printSpread("floor: 4 KiB write + fdatasync", bench::syncedWrites(root.path(), 300));
    printSpread("RecordStore::write at the station", writes);
    printSpread("floor: a notice on an idle server", noticeFloor);
    printSpread("run's end to its row's notice", delays);
    std::fprintf(stderr, "  %d runs written, %zu noticed on the server; server CPU %.1f s in %.0f s = %.1f %% of one core\n",
                 runs, delays.size(), cpu, wall, 100.0 * cpu / wall);
    notices.driver()->unsubscribeFromNotification(kNewRunChannel);
    notices = QSqlDatabase();
    closeConnection(listener);
}

void benchScale(PgCluster &cluster, int largest)
{
    QTemporaryDir station(QDir::current().filePath("line-XXXXXX"));
    writeStationIni(station.path(), "station-7", cluster.url());
    const QString name = uniqueConnectionName("scale");
    QSqlDatabase db = cluster.session(name);
    QString out;
    inFolder(station.path(), yieldCommand, {}, &out); // the tables
    exec(db, "SET statement_timeout = 0");
    QList<int> sizes{1};
    if (largest > 1)
        sizes << largest;
    for (int millions : sizes) {
        const int64_t start = bench::monotonicNs();
        if (!fillRuns(db, millions))
            return;
        std::fprintf(stderr, "Scale: %d million runs (filled in %.0f s; goal: under 1 s each)\n", millions,
                     msSince(start) / 1000);
        std::vector<double> ping, count, yieldAll, yieldOne, line, unit;
        for (int i = 0; i < 5; ++i) {
            int64_t t = bench::monotonicNs();
            exec(db, "SELECT 1");
            ping.push_back(msSince(t));
            t = bench::monotonicNs();
            exec(db, "SELECT COUNT(*) FROM runs");
            count.push_back(msSince(t));
            t = bench::monotonicNs();
            if (inFolder(station.path(), yieldCommand, {}, &out) != 0)
                std::fprintf(stderr, "yield failed: %s\n", qPrintable(out.right(300)));
            yieldAll.push_back(msSince(t));
            t = bench::monotonicNs();
            inFolder(station.path(), yieldCommand, {"--station", "station-7"}, &out);
            yieldOne.push_back(msSince(t));
            t = bench::monotonicNs();
            if (inFolder(station.path(), lineCommand, {}, &out) != 0)
                std::fprintf(stderr, "line failed: %s\n", qPrintable(out.right(300)));
            line.push_back(msSince(t));
            t = bench::monotonicNs();
            inFolder(station.path(), unitCommand, {"--json", "aa:bb:00:00:00:07"}, &out);
            unit.push_back(msSince(t));
            out.clear();
        }
        printSpread("floor: SELECT 1", ping);
        printSpread("floor: SELECT COUNT(*) FROM runs", count);
        printSpread("bandctl yield, all stations and days", yieldAll);
        printSpread("bandctl yield --station", yieldOne);
        printSpread("bandctl line (the stations' summary, today)", line);
        printSpread("bandctl unit (one band among them)", unit);
    }
    db = QSqlDatabase();
    closeConnection(name);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = bench::countArgument(argc, argv, 1, 300);
    const int largest = bench::countArgument(argc, argv, 2, 10);
    PgCluster cluster;
    if (!cluster.create()) {
        std::fprintf(stderr, "no PostgreSQL server: %s\n", qPrintable(cluster.error()));
        return 1;
    }
    benchForward(cluster, seconds);
    benchScale(cluster, largest);
    return 0;
}

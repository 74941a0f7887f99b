// bench_lineview: the line view against a throwaway PostgreSQL.
//   bench_lineview [PAGES [SECONDS [LARGEST_MILLIONS]]]   (200, 60, 10; 0 millions: live pages only)
// 1. The API's answers over 1 and LARGEST million runs (p50/p95), beside
//    the floor of a round trip that reads nothing (/api/session) and a
//    SELECT 1 on the server.
// 2. A run's commit on the server to its event on one live page's
//    connection (p50/p99), beside the floor: the same commit's NOTIFY
//    reaching a session of our own.
// 3. PAGES live pages at once while runs arrive at 20 a second: lineview's
//    memory and CPU, and every page's delay.
#include "childprocess.h"
#include "linefill.h"

#include "connections.h"
#include "linetables.h"
#include "pgcluster.h"
#include "recordcommands.h"
#include "recordtesting.h"
#include "schema.h"

#include <httplib.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

double msSince(int64_t startNs)
{
    return double(bench::monotonicNs() - startNs) / 1e6;
}

void printSpread(const char *what, std::vector<double> ms, double high = 0.95)
{
    std::fprintf(stderr, "  %-46s p50 %8.2f ms  p%.0f %8.2f ms  max %8.2f ms  (n=%zu)\n", what,
                 bench::percentile(ms, 0.5), high * 100, bench::percentile(ms, high), bench::percentile(ms, 1.0),
                 ms.size());
}

int freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// lineview on the cluster, answering.
class View {
public:
    View(const QUrl &database, int maxPages) : port(freePort())
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(LINEVIEW_PATH),
                      {"--database", database.toString(), "--listen", QStringLiteral("127.0.0.1:%1").arg(port),
                       "--rate", "100000", "--max-live-pages", QString::number(maxPages + 10)});
        httplib::Client client("127.0.0.1", port);
        for (int i = 0; i < 200 && !client.Get("/api/session"); ++i)
            QThread::msleep(50);
    }
    ~View() { stop(); }
    void stop()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        process.waitForFinished(20000);
    }
    // Resident and peak memory (MiB), and CPU seconds so far.
    void usage(double *rssMiB, double *peakMiB, double *cpuSeconds) const
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(process.processId()));
        status.open(QIODevice::ReadOnly);
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                *rssMiB = line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
            if (line.startsWith("VmHWM:"))
                *peakMiB = line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
        }
        QFile stat(QStringLiteral("/proc/%1/stat").arg(process.processId()));
        stat.open(QIODevice::ReadOnly);
        const QList<QByteArray> fields = stat.readAll().split(')').last().trimmed().split(' ');
        *cpuSeconds = (fields.value(11).toDouble() + fields.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
    }
    const int port;

private:
    QProcess process;
};

// The line's tables, as a station's first report makes them.
void prepareTables(PgCluster &cluster)
{
    QTemporaryDir station(QDir::current().filePath("view-XXXXXX"));
    writeStationIni(station.path(), "station-7", cluster.url());
    QString out;
    inFolder(station.path(), yieldCommand, {}, &out);
}

void benchAnswers(PgCluster &cluster, int largest)
{
    const QString name = uniqueConnectionName("fill");
    QSqlDatabase db = cluster.session(name);
    bench::exec(db, "SET statement_timeout = 0");
    QList<int> sizes{1};
    if (largest > 1)
        sizes << largest;
    const char *paths[] = {"/api/stations", "/api/yield?by=day", "/api/yield?by=hour", "/api/pareto",
                           "/api/locations", "/api/runs?limit=100", "/api/runs?station=station-7&limit=100",
                           "/api/unit?address=aa:bb:00:00:00:07", "/api/filters"};
    for (int millions : sizes) {
        const int64_t filling = bench::monotonicNs();
        if (!bench::fillRuns(db, millions))
            return;
        std::fprintf(stderr, "API over %d million runs (filled in %.0f s; 20 samples each, the view's default"
                             " range of 7 days where one applies)\n", millions, msSince(filling) / 1000);
        View view(cluster.url(), 1);
        httplib::Client client("127.0.0.1", view.port);
        client.set_read_timeout(120, 0);
        std::vector<double> floor, select1;
        for (int i = 0; i < 20; ++i) {
            int64_t t = bench::monotonicNs();
            client.Get("/api/session");
            floor.push_back(msSince(t));
            t = bench::monotonicNs();
            bench::exec(db, "SELECT 1");
            select1.push_back(msSince(t));
        }
        printSpread("floor: /api/session (reads nothing)", floor);
        printSpread("floor: SELECT 1 on the server", select1);
        for (const char *path : paths) {
            std::vector<double> ms;
            client.Get(path); // warm
            for (int i = 0; i < 20; ++i) {
                const int64_t t = bench::monotonicNs();
                const auto result = client.Get(path);
                ms.push_back(msSince(t));
                if (!result || result->status != 200) {
                    std::fprintf(stderr, "  %s failed: %s\n", path, result ? result->body.c_str() : "no answer");
                    break;
                }
            }
            printSpread(path, ms);
        }
    }
    bench::exec(db, "TRUNCATE runs, day_counts, day_failures");
    db = QSqlDatabase();
    closeConnection(name);
}

// Live pages reading /api/events; each event's arrival by unit.
class Pages {
public:
    Pages(int port, int count)
    {
        for (int i = 0; i < count; ++i)
            threads.emplace_back([this, port] { read(port); });
        for (int i = 0; i < 400 && connected < int(threads.size()); ++i)
            QThread::msleep(50);
    }
    ~Pages()
    {
        for (std::thread &t : threads)
            t.join();
    }
    int connectedCount() const { return connected; }
    // Arrival times (monotonic ns) of each unit's event, one per page.
    std::map<std::string, std::vector<int64_t>> arrivals;

private:
    void read(int port)
    {
        httplib::Client client("127.0.0.1", port);
        client.set_read_timeout(60, 0);
        std::string pending;
        client.Get("/api/events?simulated=1", [&](const char *data, size_t length) {
            pending.append(data, length);
            size_t end;
            while ((end = pending.find("\n\n")) != std::string::npos) {
                const std::string event = pending.substr(0, end);
                pending.erase(0, end + 2);
                if (event.rfind("retry:", 0) == 0)
                    ++connected;
                const size_t at = event.find("data: ");
                if (at == std::string::npos)
                    continue;
                const QJsonObject run = QJsonDocument::fromJson(QByteArray::fromStdString(event.substr(at + 6))).object();
                const int64_t now = bench::monotonicNs();
                std::lock_guard<std::mutex> lock(mutex);
                arrivals[run.value("unit").toString().toStdString()].push_back(now);
            }
            return true;
        });
    }
    std::vector<std::thread> threads;
    std::atomic<int> connected{0};
    std::mutex mutex;
};

// Runs committed at ratePerSecond for seconds; each unit's commit time,
// and the time its NOTIFY reached a session of our own.
void writeRuns(PgCluster &cluster, int seconds, int ratePerSecond, std::map<std::string, int64_t> *committed,
               std::vector<double> *noticeMs)
{
    const QString writerName = uniqueConnectionName("writer"), listenerName = uniqueConnectionName("listener");
    QSqlDatabase writer = cluster.session(writerName), listener = cluster.session(listenerName);
    std::map<QString, int64_t> byId;
    QObject::connect(listener.driver(), qOverload<const QString &, QSqlDriver::NotificationSource, const QVariant &>(
                                            &QSqlDriver::notification),
                     [&](const QString &, QSqlDriver::NotificationSource, const QVariant &payload) {
                         const auto it = byId.find(payload.toString());
                         if (it != byId.end())
                             noticeMs->push_back(msSince(it->second));
                     });
    listener.driver()->subscribeToNotification(kNewRunChannel);
    const int total = seconds * ratePerSecond;
    const int64_t start = bench::monotonicNs();
    for (int i = 0; i < total; ++i) {
        while (bench::monotonicNs() < start + int64_t(i) * 1000000000 / ratePerSecond)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const QString unit = QStringLiteral("cc:00:00:%1:%2:%3").arg(i >> 16 & 0xff, 2, 16, QChar('0'))
                                 .arg(i >> 8 & 0xff, 2, 16, QChar('0')).arg(i & 0xff, 2, 16, QChar('0'));
        RunRecord run = makeRun("tester", QStringLiteral("station-%1").arg(i % 20), isoUtc(QDateTime::currentDateTimeUtc()),
                                RunOutcome::Pass, unit);
        QSqlQuery q(writer);
        prepareRunInsert(q, "runs", run);
        q.exec();
        const int64_t now = bench::monotonicNs();
        (*committed)[unit.toStdString()] = now;
        byId[run.id.toString(QUuid::WithoutBraces)] = now;
    }
    const int64_t settle = bench::monotonicNs();
    while (msSince(settle) < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    writer = listener = QSqlDatabase();
    closeConnection(writerName);
    closeConnection(listenerName);
}

void benchLive(PgCluster &cluster, int pages, int seconds)
{
    for (int count : {1, pages}) {
        View view(cluster.url(), count);
        double idleRss = 0, peak = 0, cpuBefore = 0, cpuAfter = 0, rss = 0;
        view.usage(&idleRss, &peak, &cpuBefore);
        std::map<std::string, int64_t> committed;
        std::vector<double> notices, delays;
        int connected = 0;
        const int64_t start = bench::monotonicNs();
        {
            Pages live(view.port, count);
            connected = live.connectedCount();
            view.usage(&rss, &peak, &cpuBefore);
            writeRuns(cluster, count == 1 ? 30 : seconds, 20, &committed, &notices);
            view.usage(&rss, &peak, &cpuAfter);
            view.stop(); // ends every page's stream
            for (const auto &[unit, at] : live.arrivals) {
                const auto c = committed.find(unit);
                if (c != committed.end())
                    for (int64_t arrived : at)
                        delays.push_back(double(arrived - c->second) / 1e6);
            }
        }
        const double wall = msSince(start) / 1000;
        std::fprintf(stderr, "Live: %d page(s) connected of %d, %zu runs at 20 a second\n", connected, count,
                     committed.size());
        printSpread("floor: commit to NOTIFY at our own session", notices, 0.99);
        printSpread("commit to the event at a live page", delays, 0.99);
        std::fprintf(stderr, "  %zu events of %zu expected; lineview memory %.1f MiB idle, %.1f MiB with the pages"
                             " (peak %.1f); CPU %.1f s in %.0f s = %.1f %% of one core\n",
                     delays.size(), committed.size() * size_t(count), idleRss, rss, peak, cpuAfter - cpuBefore, wall,
                     100.0 * (cpuAfter - cpuBefore) / wall);
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int pages = bench::countArgument(argc, argv, 1, 200);
    const int seconds = bench::countArgument(argc, argv, 2, 60);
    const int largest = argc > 3 ? std::max(0, std::atoi(argv[3])) : 10;
    PgCluster cluster;
    if (!cluster.create()) {
        std::fprintf(stderr, "no PostgreSQL server: %s\n", qPrintable(cluster.error()));
        return 1;
    }
    prepareTables(cluster);
    if (largest > 0) // 0: the live pages alone
        benchAnswers(cluster, largest);
    benchLive(cluster, pages, seconds);
    return 0;
}

// bench_records: what keeping a run's record costs the window, and how long
// the yield report takes over 1,000,000 records.
//
// Write: a tester-sized record written with RecordStore::write into a fresh
// results.db on the build folder's disk (WAL, synchronous=FULL), alone and
// with station.ini naming a live server, so that the forwarder works beside
// it. Its floor is one 4 KiB write plus fdatasync of a file on the same disk,
// the least a durable commit costs there. Writes are 20 ms apart, closer
// than any two real runs.
// Yield: 1,000,000 runs of 20 stations over 50 days, in SQLite and in a
// throwaway PostgreSQL server, the whole report (counts per station and day,
// failing steps) against the floor of counting every row.
//
// Figures go to standard error.
// Usage: bench_records [writes per round, default 200] [yield repeats, default 5]
#include "childprocess.h"
#include "syncedwrites.h"

#include "connections.h"
#include "pgcluster.h"
#include "recordfilter.h"
#include "recordstore.h"
#include "yieldreport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kRounds = 3;
constexpr int kPauseBetweenRunsMs = 20;
constexpr int kYieldRecords = 1000000;

double msSince(int64_t startNs)
{
    return double(bench::monotonicNs() - startNs) / 1e6;
}

void printSpread(const char *what, const std::vector<double> &ms)
{
    std::fprintf(stderr, "  %-44s median %7.2f ms  p99 %7.2f ms  max %7.2f ms  (n=%zu)\n", what,
                 bench::percentile(ms, 0.5), bench::percentile(ms, 0.99), bench::percentile(ms, 1.0), ms.size());
}

std::vector<double> recordWrites(const QString &folder, int count)
{
    RecordStore store(folder);
    std::vector<double> ms;
    for (int i = 0; i < count; ++i) {
        RunRecord r = store.begin(QStringLiteral("tester"));
        r.unit = QStringLiteral("aa:bb:cc:dd:ee:%1").arg(i % 256, 2, 16, QLatin1Char('0'));
        r.details = {{"version", "1.2.3.4"}, {"time_sent", "2026-12-07 08:00:00"}, {"time_read", "2026-12-07 08:00:00"},
                     {"conf_sent", "70,175,0,30,8000"}, {"conf_read", "70,175,0,30,8000"}};
        r.finish(RunOutcome::Pass);
        const int64_t start = bench::monotonicNs();
        if (!store.write(r))
            std::fprintf(stderr, "write failed: %s\n", qPrintable(store.problem()));
        ms.push_back(msSince(start));
        // Runs are at least this far apart at a station; the forwarder works in between.
        QThread::msleep(kPauseBetweenRunsMs);
    }
    return ms;
}

void benchWrites(int count, const QUrl &server)
{
    std::fprintf(stderr, "Writing one record (goal: p99 <= 10 ms on ext4)\n");
    for (int round = 0; round < kRounds; ++round) {
        QTemporaryDir local(QDir::current().filePath("records-XXXXXX"));
        QTemporaryDir shared(QDir::current().filePath("records-XXXXXX"));
        QSettings(QDir(shared.path()).filePath("station.ini"), QSettings::IniFormat)
            .setValue("database/url", server.toString());
        std::fprintf(stderr, " round %d\n", round + 1);
        printSpread("floor: 4 KiB write + fdatasync", bench::syncedWrites(local.path(), count));
        printSpread("RecordStore::write, local only", recordWrites(local.path(), count));
        if (!server.isEmpty())
            printSpread("RecordStore::write, forwarding to a server", recordWrites(shared.path(), count));
    }
}

bool exec(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    if (q.exec(sql))
        return true;
    std::fprintf(stderr, "%s\n  failed: %s\n", qPrintable(sql), qPrintable(q.lastError().text()));
    return false;
}

// 20 stations, 50 days, 1000 runs a station a day; 90 % pass, 8 % fail at
// one of four steps, 2 % interrupted; every tenth run a retest.
QString fillSelect(const QString &numbers)
{
    return QStringLiteral(
        "INSERT INTO runs (id, program, station, operator, started_at, ended_at, day, duration_ms, outcome,"
        " failed_step, failed_row, unit, first_try, details)"
        " SELECT 'id-' || i, 'tester', 'station-' || (i %% 20), 'op', d || 'T08:00:00.000Z', d || 'T08:00:01.000Z', d,"
        " 1000, CASE WHEN i %% 50 < 45 THEN 'pass' WHEN i %% 50 < 49 THEN 'fail' ELSE 'interrupted' END,"
        " CASE WHEN i %% 50 BETWEEN 45 AND 48 THEN 'step ' || (i %% 4) END, NULL, 'u' || (i / 2),"
        " CASE WHEN i %% 10 = 0 THEN 0 ELSE 1 END, '{}' FROM %1").arg(numbers).replace("%%", "%");
}

bool fillSqlite(QSqlDatabase &db)
{
    const QString numbers = QStringLiteral(
        "(WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < %1)"
        " SELECT i, date('2026-01-01', '+' || (i / 20000) || ' days') AS d FROM n)").arg(kYieldRecords - 1);
    return exec(db, "PRAGMA synchronous = OFF") && exec(db, "BEGIN") && exec(db, fillSelect(numbers))
        && exec(db, "COMMIT") && exec(db, "ANALYZE");
}

bool fillPostgres(QSqlDatabase &db)
{
    const QString numbers = QStringLiteral(
        "(SELECT i, to_char(date '2026-01-01' + (i / 20000), 'YYYY-MM-DD') AS d FROM generate_series(0, %1) i) s")
        .arg(kYieldRecords - 1);
    return exec(db, fillSelect(numbers)) && exec(db, "VACUUM ANALYZE runs");
}

void benchYield(const char *where, QSqlDatabase &db, int repeats)
{
    std::vector<double> report, floor, oneStation;
    for (int i = 0; i < repeats; ++i) {
        int64_t start = bench::monotonicNs();
        QSqlQuery count(db);
        count.exec("SELECT COUNT(*) FROM runs");
        count.next();
        floor.push_back(msSince(start));

        YieldReport yield;
        QString error;
        start = bench::monotonicNs();
        if (!yield.compute(db, RecordFilter(), &error) || yield.rows.size() != 20 * 50)
            std::fprintf(stderr, "yield failed: %s (%lld rows)\n", qPrintable(error), qlonglong(yield.rows.size()));
        report.push_back(msSince(start));

        RecordFilter filter;
        filter.station = QStringLiteral("station-7");
        start = bench::monotonicNs();
        yield.compute(db, filter, &error);
        oneStation.push_back(msSince(start));
        if (i == 0)
            std::fprintf(stderr, "  (%s: %lld runs counted)\n", where, count.value(0).toLongLong());
    }
    std::fprintf(stderr, " %s (goal: under 1 s)\n", where);
    printSpread("floor: SELECT COUNT(*) FROM runs", floor);
    printSpread("yield, all stations", report);
    printSpread("yield, one station", oneStation);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int writes = bench::countArgument(argc, argv, 1, 200);
    const int repeats = bench::countArgument(argc, argv, 2, 5);

    PgCluster cluster;
    if (!cluster.create())
        std::fprintf(stderr, "no PostgreSQL server: %s\n", qPrintable(cluster.error()));
    benchWrites(writes, cluster.isRunning() ? cluster.url() : QUrl());

    std::fprintf(stderr, "Yield over %d records\n", kYieldRecords);
    {
        QTemporaryDir dir(QDir::current().filePath("records-XXXXXX"));
        const QString name = uniqueConnectionName("bench");
        {
            QString error;
            QSqlDatabase db = openLocalDatabase(name, dir.path(), false, &error);
            const int64_t start = bench::monotonicNs();
            if (db.isOpen() && fillSqlite(db)) {
                std::fprintf(stderr, "  (SQLite filled in %.1f s)\n", msSince(start) / 1000);
                benchYield("SQLite", db, repeats);
            }
        }
        closeConnection(name);
    }
    if (cluster.isRunning() && cluster.dropTables()) {
        const QString name = uniqueConnectionName("bench");
        {
            QString error;
            QSqlDatabase db = openServerDatabase(name, cluster.url(), 5, &error);
            const int64_t start = bench::monotonicNs();
            // Filling a million rows takes longer than a station's statements may.
            if (db.isOpen() && exec(db, "SET statement_timeout = 0") && fillPostgres(db)) {
                std::fprintf(stderr, "  (PostgreSQL filled in %.1f s)\n", msSince(start) / 1000);
                benchYield("PostgreSQL", db, repeats);
            }
        }
        closeConnection(name);
    }
    return 0;
}

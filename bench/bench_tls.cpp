// bench_tls: what TLS costs a forward. One record at a time goes from
// results.db's queue to a throwaway PostgreSQL server on this computer, as
// the forwarder sends it: a session of its own (the station's first login,
// then the driver's), the insert, the goodbye. Side by side: a server
// without TLS, and one that takes TLS only, checked against a CA
// (station.ini's ca=, sslmode=verify-full).
//
// Figures go to standard error.
// Usage: bench_tls [forwards per server, default 200]
#include "childprocess.h"

#include "outboxsender.h"
#include "pgcluster.h"
#include "recordstore.h"
#include "stationsettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace {

// ms of each forward to the server of station.ini in folder; empty when one failed.
std::vector<double> forwards(const QString &folder, int count)
{
    std::vector<double> ms;
    const QUrl server = StationSettings::read(folder).serverUrl;
    RecordStore store(folder, 0); // no forwarder: each record is sent here
    for (int i = 0; i < count; ++i) {
        RunRecord r = store.begin(QStringLiteral("tester"));
        r.finish(RunOutcome::Pass);
        if (!store.write(r))
            return {};
        QString error;
        const int64_t start = bench::monotonicNs();
        if (OutboxSender(folder, server).sendWaiting(&error) != 1) {
            std::fprintf(stderr, "forward failed: %s\n", qPrintable(error));
            return {};
        }
        ms.push_back(double(bench::monotonicNs() - start) / 1e6);
    }
    return ms;
}

void benchServer(const char *what, PgCluster::Tls tls, const QString &caLine, int count)
{
    PgCluster cluster(tls);
    if (!cluster.create()) {
        std::fprintf(stderr, "no PostgreSQL server: %s\n", qPrintable(cluster.error()));
        return;
    }
    QTemporaryDir dir(QDir::current().filePath("tls-XXXXXX"));
    QFile ini(dir.filePath("station.ini"));
    const QString ca = caLine.isEmpty() ? QString() : caLine.arg(cluster.caFile());
    if (!ini.open(QIODevice::WriteOnly) || ini.write(("[database]\nurl=" + cluster.url().toString() + "\n" + ca).toUtf8()) < 0)
        return;
    ini.close();
    ini.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    const std::vector<double> ms = forwards(dir.path(), count);
    if (!ms.empty())
        std::fprintf(stderr, "  %-40s median %7.2f ms  p99 %7.2f ms  max %7.2f ms  (n=%zu)\n", what,
                     bench::percentile(ms, 0.5), bench::percentile(ms, 0.99), bench::percentile(ms, 1.0), ms.size());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int count = bench::countArgument(argc, argv, 1, 200);
    std::fprintf(stderr, "One record forwarded, a session of its own\n");
    benchServer("without TLS (ssl=off)", PgCluster::Tls::Off, QString(), count);
    benchServer("TLS, verify-full against ca=", PgCluster::Tls::Required, QStringLiteral("ca=%1\n"), count);
    return 0;
}

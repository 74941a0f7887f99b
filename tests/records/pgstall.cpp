// A throwaway records server behind a relay whose sessions stall at their
// first statement, for a test outside this process (the Windows station
// under wine): prints the relay's url, serves until its standard input
// closes, then prints how many sessions stalled.
#include "pgcluster.h"
#include "pgrelay.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    PgCluster cluster(PgCluster::Tls::Off);
    if (!cluster.create()) {
        std::fprintf(stderr, "pgstall: %s\n", qPrintable(cluster.error()));
        return 1;
    }
    PgRelay relay(cluster.port());
    relay.stall();
    QUrl url = cluster.url();
    url.setPort(relay.port());
    url.setQuery(QStringLiteral("sslmode=disable&gssencmode=disable")); // the relay reads the session
    std::printf("%s\n", qPrintable(url.toString()));
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    std::printf("stalled %d\n", relay.stalledCount());
    return 0;
}

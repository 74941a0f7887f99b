// A station process for the tests, started by them as a child:
//   recordchild FOLDER write N             writes N passing runs, waits until the
//                                          server has them, prints one JSON line
//   recordchild FOLDER write-then-kill     writes one run, prints its id, SIGKILLs itself
//   recordchild FOLDER write-as-nobody     drops root to nobody first, writes one run
//   recordchild FOLDER sync-as-nobody      drops root to nobody first, runs sync, prints its output
//   recordchild FOLDER write-file-limit [BYTES]
//                                          writes a record of several KiB with no
//                                          file allowed to grow past BYTES (0)
//   recordchild FOLDER hold-lock           holds results.db locked until stdin closes
#include "connections.h"
#include "recordcommands.h"
#include "recordstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QTextStream>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {

void report(const QJsonObject &o)
{
    std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
}

bool writeOne(RecordStore &store, const QString &program, QString *id)
{
    RunRecord r = store.begin(program);
    r.finish(RunOutcome::Pass);
    *id = r.id.toString(QUuid::WithoutBraces);
    return store.write(r);
}

int outboxSize(const QString &folder)
{
    const QString name = uniqueConnectionName(QStringLiteral("child"));
    int n = -1;
    {
        QString error;
        QSqlDatabase db = openLocalDatabase(name, folder, true, &error);
        QSqlQuery q(db);
        if (q.exec(QStringLiteral("SELECT COUNT(*) FROM outbox")) && q.next())
            n = q.value(0).toInt();
    }
    closeConnection(name);
    return n;
}

int writeMany(const QString &folder, int count)
{
    RecordStore store(folder);
    QString id;
    int written = 0;
    for (int i = 0; i < count; ++i)
        written += writeOne(store, QStringLiteral("tester"), &id) ? 1 : 0;
    for (int tries = 0; store.settings().hasServer() && tries < 600 && outboxSize(folder) != 0; ++tries)
        QThread::msleep(50);
    report({{QStringLiteral("written"), written}, {QStringLiteral("waiting"), outboxSize(folder)}});
    return 0;
}

int writeAndReport(const QString &folder, int padding = 0)
{
    RecordStore store(folder);
    RunRecord r = store.begin(QStringLiteral("tester"));
    r.finish(RunOutcome::Pass);
    if (padding > 0)
        r.details.insert(QStringLiteral("padding"), QString(padding, QLatin1Char('p')));
    const RecordStore::Kept kept = store.keep(r);
    const char *const names[] = {"stored", "spooled", "lost"};
    report({{QStringLiteral("ok"), kept == RecordStore::Kept::Stored},
            {QStringLiteral("kept"), QLatin1String(names[int(kept)])},
            {QStringLiteral("problem"), store.problem()},
            {QStringLiteral("id"), r.id.toString(QUuid::WithoutBraces)}});
    return 0;
}

int syncAndReport(const QString &folder)
{
    const QString here = QDir::currentPath();
    QDir::setCurrent(folder);
    QString out;
    QTextStream stream(&out);
    const int status = syncCommand({}, stream, stream, {});
    stream.flush();
    QDir::setCurrent(here);
    report({{QStringLiteral("status"), status}, {QStringLiteral("out"), out}});
    return 0;
}

int holdLock(const QString &folder)
{
    const QString name = uniqueConnectionName(QStringLiteral("lock"));
    QString error;
    QSqlDatabase db = openLocalDatabase(name, folder, false, &error);
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("BEGIN EXCLUSIVE"))) {
        report({{QStringLiteral("locked"), false}});
        return 1;
    }
    report({{QStringLiteral("locked"), true}});
    char c;
    while (read(0, &c, 1) > 0) {
    }
    q.exec(QStringLiteral("COMMIT"));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3)
        return 2;
    const QByteArray mode = argv[2];
    if (mode.endsWith("-as-nobody") && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
        return 3;
    if (mode == "write-file-limit") {
        // A full disk as far as this process can tell: no file may grow.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlim_t bytes = argc > 3 ? rlim_t(std::atoll(argv[3])) : 0;
        const rlimit limit{bytes, bytes};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    QCoreApplication app(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (mode == "write")
        return writeMany(folder, argc > 3 ? std::atoi(argv[3]) : 1);
    if (mode == "hold-lock")
        return holdLock(folder);
    if (mode == "sync-as-nobody")
        return syncAndReport(folder);
    if (mode == "write-then-kill") {
        RecordStore store(folder);
        QString id;
        if (!writeOne(store, QStringLiteral("burner"), &id))
            return 1;
        report({{QStringLiteral("id"), id}});
        raise(SIGKILL);
    }
    return writeAndReport(folder, mode == "write-file-limit" ? 8192 : 0);
}

#include "pgcluster.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>

#include <cerrno>
#include <csignal>
#include <pwd.h>
#include <unistd.h>

namespace {

const QString kBin = QStringLiteral("/usr/lib/postgresql/15/bin/");

int freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// The account the server runs as when we are root: the one the package
// creates, else nobody.
QString serverUser()
{
    if (geteuid() != 0)
        return QString();
    return getpwnam("postgres") ? QStringLiteral("postgres") : QStringLiteral("nobody");
}

} // namespace

PgCluster::PgCluster(Tls tls) : tls(tls), user(serverUser()), serverPort(freePort()) {}

PgCluster::~PgCluster()
{
    if (running)
        stop();
}

bool PgCluster::run(const QString &program, const QStringList &arguments)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setWorkingDirectory(dir.path());
    const QString path = program == QLatin1String("openssl") ? program : kBin + program;
    if (user.isEmpty())
        p.start(path, arguments);
    else
        p.start(QStringLiteral("runuser"), QStringList{QStringLiteral("-u"), user, QStringLiteral("--"), path} + arguments);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        lastError = program + QStringLiteral(" failed: ") + QString::fromLocal8Bit(p.readAll());
        return false;
    }
    return true;
}

bool PgCluster::create()
{
    if (!dir.isValid()) {
        lastError = QStringLiteral("no temporary folder");
        return false;
    }
    QFile pw(dir.filePath(QStringLiteral("pw")));
    pw.open(QIODevice::WriteOnly);
    pw.write("band-secret\n");
    pw.close();
    if (!user.isEmpty()) {
        const passwd *account = getpwnam(user.toLocal8Bit().constData());
        if (chown(dir.path().toLocal8Bit().constData(), account->pw_uid, account->pw_gid) != 0
            || chown(pw.fileName().toLocal8Bit().constData(), account->pw_uid, account->pw_gid) != 0) {
            lastError = QStringLiteral("cannot hand the cluster folder to ") + user;
            return false;
        }
    }
    const QString key = dir.filePath(QStringLiteral("server.key"));
    if (!run(QStringLiteral("initdb"), {QStringLiteral("-D"), dir.filePath(QStringLiteral("data")),
                                        QStringLiteral("-U"), QStringLiteral("band"),
                                        QStringLiteral("--pwfile=") + pw.fileName(),
                                        QStringLiteral("--auth=scram-sha-256"), QStringLiteral("-E"),
                                        QStringLiteral("UTF8"), QStringLiteral("--no-sync")}))
        return false;
    // TLS offered, as a line's server would have it: a client that drops a
    // connection in its handshake shows in the server's log.
    if (tls == Tls::Offered
        && !run(QStringLiteral("openssl"), {QStringLiteral("req"), QStringLiteral("-new"), QStringLiteral("-x509"),
                                            QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-nodes"),
                                            QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                                            QStringLiteral("-keyout"), key, QStringLiteral("-out"),
                                            dir.filePath(QStringLiteral("server.crt"))}))
        return false;
    if (tls == Tls::Required && !makeCertificates())
        return false;
    if (tls != Tls::Off && !QFile::setPermissions(key, QFile::ReadOwner | QFile::WriteOwner))
        return false;
    return start();
}

bool PgCluster::start()
{
    // No fsync: the tests check what the server keeps, not its crash safety.
    QString options = QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off").arg(serverPort).arg(dir.path());
    if (tls != Tls::Off)
        options += QStringLiteral(" -c ssl=on -c ssl_cert_file=%1/server.crt -c ssl_key_file=%1/server.key").arg(dir.path());
    running = run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), dir.filePath(QStringLiteral("data")),
                                             QStringLiteral("-l"), dir.filePath(QStringLiteral("log")),
                                             QStringLiteral("-o"), options, QStringLiteral("-w"), QStringLiteral("start")});
    return running;
}

bool PgCluster::stop()
{
    running = !run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), dir.filePath(QStringLiteral("data")),
                                              QStringLiteral("-m"), QStringLiteral("fast"), QStringLiteral("-w"),
                                              QStringLiteral("stop")});
    return !running;
}

// A CA, the server's certificate signed by it for the address 127.0.0.1
// alone (so that "localhost" is another host name), a CA that signed
// nothing here; and TLS as the only way in over the network.
bool PgCluster::makeCertificates()
{
    const QStringList newKey{QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                             QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
    const auto newCa = [&](const QString &name) {
        return run(QStringLiteral("openssl"), QStringList{QStringLiteral("req"), QStringLiteral("-new"),
                                                          QStringLiteral("-x509"), QStringLiteral("-days"),
                                                          QStringLiteral("2"), QStringLiteral("-subj"),
                                                          QStringLiteral("/CN=band test ") + name, QStringLiteral("-keyout"),
                                                          name + QStringLiteral(".key"), QStringLiteral("-out"),
                                                          name + QStringLiteral(".crt")} + newKey);
    };
    QFile san(dir.filePath(QStringLiteral("san.ext")));
    QFile hba(dir.filePath(QStringLiteral("data/pg_hba.conf")));
    if (!san.open(QIODevice::WriteOnly) || san.write("subjectAltName=IP:127.0.0.1\n") < 0 || !san.flush()
        || !hba.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || hba.write("local all all scram-sha-256\n"
                     "hostssl all all 127.0.0.1/32 scram-sha-256\n"
                     "hostssl all all ::1/128 scram-sha-256\n") < 0
        || !hba.flush()) {
        lastError = QStringLiteral("cannot write san.ext or pg_hba.conf");
        return false;
    }
    return newCa(QStringLiteral("ca")) && newCa(QStringLiteral("other-ca"))
           && run(QStringLiteral("openssl"), QStringList{QStringLiteral("req"), QStringLiteral("-new"),
                                                         QStringLiteral("-subj"), QStringLiteral("/CN=band test server"),
                                                         QStringLiteral("-keyout"), QStringLiteral("server.key"),
                                                         QStringLiteral("-out"), QStringLiteral("server.csr")} + newKey)
           && run(QStringLiteral("openssl"),
                  {QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), QStringLiteral("server.csr"),
                   QStringLiteral("-CA"), QStringLiteral("ca.crt"), QStringLiteral("-CAkey"), QStringLiteral("ca.key"),
                   QStringLiteral("-CAcreateserial"), QStringLiteral("-days"), QStringLiteral("2"),
                   QStringLiteral("-extfile"), QStringLiteral("san.ext"), QStringLiteral("-out"),
                   QStringLiteral("server.crt")});
}

QString PgCluster::caFile() const
{
    return dir.filePath(QStringLiteral("ca.crt"));
}

QString PgCluster::otherCaFile() const
{
    return dir.filePath(QStringLiteral("other-ca.crt"));
}

QUrl PgCluster::url(const QString &password) const
{
    return QUrl(QStringLiteral("postgresql://band:%1@127.0.0.1:%2/postgres").arg(password).arg(serverPort));
}

QSqlDatabase PgCluster::session(const QString &name) const
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    const QUrl u = url();
    db.setHostName(u.host());
    db.setPort(u.port());
    db.setUserName(u.userName());
    db.setPassword(u.password());
    db.setDatabaseName(QStringLiteral("postgres"));
    db.open();
    return db;
}

bool PgCluster::freeze(bool frozen)
{
    QFile pidFile(dir.filePath(QStringLiteral("data/postmaster.pid")));
    if (!pidFile.open(QIODevice::ReadOnly))
        return false;
    const pid_t postmaster = pid_t(pidFile.readLine().trimmed().toInt());
    if (postmaster <= 0)
        return false;
    // The postmaster and each of its children (every session's own process,
    // each in a process group of its own).
    QList<pid_t> pids{postmaster};
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool numeric = false;
        const pid_t pid = pid_t(entry.toInt(&numeric));
        if (!numeric || pid <= 0)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // pid (name) state ppid ...; the name may hold blanks, so count from its end.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toInt() == postmaster)
            pids << pid;
    }
    bool ok = true;
    for (pid_t pid : pids)
        ok = (::kill(pid, frozen ? SIGSTOP : SIGCONT) == 0 || errno == ESRCH) && ok; // a session may just have ended
    return ok;
}

QString PgCluster::log() const
{
    QFile file(dir.filePath(QStringLiteral("log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QStringList PgCluster::runIds(const QString &station) const
{
    const QString name = QStringLiteral("pgcluster-ids");
    QStringList ids;
    {
        QSqlDatabase db = session(name);
        QSqlQuery q(db);
        // No tables yet is no runs, and nothing for the server's log.
        const bool tables = q.exec(QStringLiteral("SELECT to_regclass('runs') IS NOT NULL")) && q.next() && q.value(0).toBool();
        if (tables) {
            q.prepare(station.isEmpty() ? QStringLiteral("SELECT id FROM runs ORDER BY seq")
                                        : QStringLiteral("SELECT id FROM runs WHERE station = ? ORDER BY seq"));
            q.addBindValue(station);
        }
        if (tables && q.exec())
            while (q.next())
                ids << q.value(0).toString();
    }
    QSqlDatabase::removeDatabase(name);
    return ids;
}

bool PgCluster::dropTables()
{
    const QString name = QStringLiteral("pgcluster-admin");
    bool ok = false;
    {
        QSqlDatabase db = session(name);
        QSqlQuery q(db);
        q.exec(QStringLiteral("SET client_min_messages = warning"));
        // The functions too: an administrator's setting up left them to another owner.
        ok = db.isOpen()
             && q.exec(QStringLiteral("DROP TABLE IF EXISTS runs, schema_info, stations, day_counts, day_failures CASCADE"))
             && q.exec(QStringLiteral("DROP FUNCTION IF EXISTS band_runs_changed(), mark_first_tries(TEXT)"));
        if (!ok)
            lastError = db.lastError().text();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

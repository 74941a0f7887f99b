// TLS to the line's server: station.ini's ca= and what it makes of the url,
// and bandctl sync against real servers the test starts (TLS only with a CA
// of its own, and plain): only the server the CA vouches for, under the
// url's host name, gets the records.
#include "connections.h"
#include "pgcluster.h"
#include "recordstore.h"
#include "recordtesting.h"
#include "serverlink.h"
#include "stationsettings.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QtTest>

class TestTls : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void caSettings();
    void rightCaForwards();
    void certificateProblemsKeepTheRecord_data();
    void certificateProblemsKeepTheRecord();
    void unverifiedServerSaidOnce();

private:
    struct Sync {
        int exitCode = -1;
        QString out, err;
    };
    // A station in folder with one record waiting, then station.ini naming url and ca.
    QString stationWithWaitingRecord(const QString &folder, const QUrl &url, const QString &ca);
    Sync bandctl(const QString &folder, const QString &command);

    PgCluster secured{PgCluster::Tls::Required};
    PgCluster plain{PgCluster::Tls::Off};
};

namespace {

void writeIni(const QString &folder, const QByteArray &text)
{
    QFile ini(QDir(folder).filePath("station.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write(text);
    ini.close();
    QVERIFY(ini.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
}

QByteArray iniNaming(const QUrl &url, const QString &ca)
{
    QByteArray text = "[station]\nname=line1-tls\n[database]\nurl=" + url.toString(QUrl::FullyEncoded).toUtf8() + "\n";
    if (!ca.isEmpty())
        text += "ca=\"" + ca.toUtf8() + "\"\n";
    return text;
}

QUrl withHost(QUrl url, const QString &host)
{
    url.setHost(host);
    return url;
}

} // namespace

void TestTls::initTestCase()
{
    QVERIFY2(secured.create(), qPrintable(secured.error()));
    QVERIFY2(plain.create(), qPrintable(plain.error()));
}

void TestTls::caSettings()
{
    QTemporaryDir dir;
    // A folder name with what a url's query would take for its own.
    const QString caFolder = dir.filePath("CA & 100% + x");
    QVERIFY(QDir().mkpath(caFolder));
    QVERIFY(QFile::copy(secured.caFile(), caFolder + "/ca.crt"));
    const QUrl server("postgresql://band:pw@10.0.0.5:5432/records");

    // Relative to the station's folder; the url then asks for a check against it.
    writeIni(dir.path(), iniNaming(server, "CA & 100% + x/ca.crt"));
    StationSettings s = StationSettings::read(dir.path());
    QVERIFY2(s.problem.isEmpty() && s.hasServer(), qPrintable(s.problem));
    QCOMPARE(s.serverCa, QDir(caFolder).absoluteFilePath("ca.crt"));
    const QUrlQuery query(s.serverUrl);
    QCOMPARE(query.queryItemValue("sslmode", QUrl::FullyDecoded), QStringLiteral("verify-full"));
    QCOMPARE(query.queryItemValue("sslrootcert", QUrl::FullyDecoded), s.serverCa);
    QVERIFY(!s.unverifiedServer());
    QCOMPARE(displayUrl(s.serverUrl), QStringLiteral("postgresql://band@10.0.0.5:5432/records?sslmode=verify-full"));

    // A CA that cannot serve is a mistake, and nothing goes to the server unchecked.
    QFile notPem(dir.filePath("notpem.crt"));
    QVERIFY(notPem.open(QIODevice::WriteOnly));
    notPem.write("ssl_cert_file = 'server.crt'\n");
    notPem.close();
    const struct {
        QByteArray ini;
        const char *said;
    } mistakes[] = {
        {iniNaming(server, "missing.crt"), "ca=missing.crt cannot be read"},
        {iniNaming(server, "notpem.crt"), "ca=notpem.crt is not a PEM certificate"},
        {iniNaming(QUrl(server.toString() + "?sslmode=require"), caFolder + "/ca.crt"), "sslmode=require"},
        {iniNaming(QUrl(server.toString() + "?sslrootcert=/x.crt"), caFolder + "/ca.crt"), "sslrootcert= beside ca="},
    };
    for (const auto &m : mistakes) {
        writeIni(dir.path(), m.ini);
        s = StationSettings::read(dir.path());
        QVERIFY2(s.problem.contains(m.said) && s.problem.contains("records stay local"), qPrintable(m.ini + " gave: " + s.problem));
        QVERIFY(!s.hasServer() && s.mistakes.size() == 1);
    }

    // Without a CA only a server on this computer goes unsaid.
    for (const char *host : {"10.0.0.5", "line-server", "::2", "128.0.0.1"})
        QVERIFY2(isUnverifiedServer(withHost(server, host)), host);
    for (const char *host : {"127.0.0.1", "127.8.0.3", "localhost", "LocalHost", "::1"})
        QVERIFY2(!isUnverifiedServer(withHost(server, host)), host);
    QVERIFY(!isUnverifiedServer(QUrl(server.toString() + "?sslmode=verify-full")));
    QVERIFY(isUnverifiedServer(QUrl(server.toString() + "?sslmode=require")));
    writeIni(dir.path(), iniNaming(server, QString()));
    QVERIFY(StationSettings::read(dir.path()).unverifiedServer());
}

QString TestTls::stationWithWaitingRecord(const QString &folder, const QUrl &url, const QString &ca)
{
    QString id;
    {
        RecordStore store(folder, 0);
        RunRecord r = store.begin("tester");
        r.finish(RunOutcome::Pass);
        if (store.write(r))
            id = r.id.toString(QUuid::WithoutBraces);
    }
    writeIni(folder, iniNaming(url, ca));
    return id;
}

TestTls::Sync TestTls::bandctl(const QString &folder, const QString &command)
{
    QProcess p;
    p.setWorkingDirectory(folder);
    p.start(BANDCTL_PATH, {command});
    Sync result;
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = p.exitCode();
    result.out = QString::fromUtf8(p.readAllStandardOutput());
    result.err = QString::fromUtf8(p.readAllStandardError());
    return result;
}

void TestTls::rightCaForwards()
{
    QTemporaryDir dir;
    QVERIFY(QFile::copy(secured.caFile(), dir.filePath("ca.crt")));
    const QString id = stationWithWaitingRecord(dir.path(), secured.url(), "ca.crt");
    QVERIFY(!id.isEmpty());
    const Sync sync = bandctl(dir.path(), "sync");
    QVERIFY2(sync.exitCode == 0, qPrintable(sync.out + sync.err));
    QVERIFY2(sync.out.contains("1 record(s) sent to") && sync.out.contains("0 still waiting"), qPrintable(sync.out));
    QVERIFY2(!sync.err.contains("not verified"), qPrintable(sync.err));
    QCOMPARE(secured.runIds(), QStringList{id});
}

void TestTls::certificateProblemsKeepTheRecord_data()
{
    QTest::addColumn<int>("server"); // 0: TLS only, 1: plain
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("otherCa");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("libraryText");
    QTest::newRow("another CA") << 0 << "127.0.0.1" << true << "not vouched for by the CA" << "certificate verify failed";
    QTest::newRow("another host name") << 0 << "localhost" << false << "for another host name"
                                       << "does not match host name \"localhost\"";
    QTest::newRow("plain server") << 1 << "127.0.0.1" << false << "does not offer TLS"
                                  << "server does not support SSL, but SSL was required";
}

void TestTls::certificateProblemsKeepTheRecord()
{
    QFETCH(int, server);
    QFETCH(QString, host);
    QFETCH(bool, otherCa);
    QFETCH(QString, reason);
    QFETCH(QString, libraryText);
    PgCluster &cluster = server == 0 ? secured : plain;
    QVERIFY2(cluster.dropTables(), qPrintable(cluster.error()));
    QTemporaryDir dir;
    QVERIFY(QFile::copy(otherCa ? secured.otherCaFile() : secured.caFile(), dir.filePath("ca.crt")));
    QVERIFY(!stationWithWaitingRecord(dir.path(), withHost(cluster.url(), host), "ca.crt").isEmpty());

    const Sync sync = bandctl(dir.path(), "sync");
    QCOMPARE(sync.exitCode, 6);
    QVERIFY2(sync.out.contains("0 record(s) sent") && sync.out.contains("1 still waiting"), qPrintable(sync.out));
    QVERIFY2(sync.err.contains(reason) && sync.err.contains(libraryText), qPrintable(sync.err));
    QVERIFY2(!sync.err.contains("band-secret"), qPrintable(sync.err));
    QVERIFY(cluster.runIds().isEmpty());
    QCOMPARE(localRunCount(dir.path()), 1);
}

void TestTls::unverifiedServerSaidOnce()
{
    const QString warning = "connection not verified (no [database] ca= in station.ini)";
    // A plain server on this computer: used as ever, nothing said.
    QTemporaryDir local;
    QVERIFY2(plain.dropTables(), qPrintable(plain.error()));
    QVERIFY(!stationWithWaitingRecord(local.path(), plain.url(), QString()).isEmpty());
    Sync sync = bandctl(local.path(), "sync");
    QVERIFY2(sync.exitCode == 0 && !sync.err.contains(warning), qPrintable(sync.out + sync.err));
    QCOMPARE(plain.runIds().size(), 1);

    // One across the network, even one that cannot be reached: said once
    // by a program however often it tries it, and by each bandctl command.
    const QUrl unreachable("postgresql://band:pw@192.0.2.1:5432/records");
    QTest::ignoreMessage(QtWarningMsg, qPrintable(unverifiedServerWarning(unreachable)));
    QTest::failOnWarning(QRegularExpression("not verified"));
    for (int i = 0; i < 3; ++i) {
        ServerLink link("tls");
        QString error;
        QVERIFY(!link.open(unreachable, &error));
    }
    QTemporaryDir remote;
    QVERIFY(!stationWithWaitingRecord(remote.path(), unreachable, QString()).isEmpty());
    for (const char *command : {"sync", "records"}) {
        sync = bandctl(remote.path(), command);
        QCOMPARE(sync.exitCode, 6);
        QVERIFY2(sync.err.count("records server postgresql://band@192.0.2.1:5432/records: " + warning) == 1,
                 qPrintable(sync.err));
    }
}

QTEST_GUILESS_MAIN(TestTls)
#include "tst_tls.moc"

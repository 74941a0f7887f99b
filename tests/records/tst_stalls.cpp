// A records server that stops answering part-way: through a relay that
// passes the login and then goes silent, or that freezes the session's own
// server process. Every wait for it ends within its bound, in the library and
// in bandctl, and nothing is lost.
#include "connections.h"
#include "pgcluster.h"
#include "pgrelay.h"
#include "recordcommands.h"
#include "recordstore.h"
#include "recordtesting.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <csignal>

class TestStalls : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void commandsEndWithinTheirBound_data();
    void commandsEndWithinTheirBound();
    void programEndsPromptly();
    void forwardingGoesOnAfterAStallMidStatement();
    void bandctlEndsPromptly();
    void serverLogsNoErrorForTheStation();

private:
    // The url of the test's server, through the relay when one is given.
    QUrl url(const PgRelay *relay = nullptr, bool serverTimeOuts = true) const;

    PgCluster cluster;
};

void TestStalls::initTestCase()
{
    QVERIFY2(cluster.create(), qPrintable(cluster.error()));
}

void TestStalls::init()
{
    QVERIFY2(cluster.dropTables(), qPrintable(cluster.error()));
}

QUrl TestStalls::url(const PgRelay *relay, bool serverTimeOuts) const
{
    QUrl u = cluster.url();
    if (relay) {
        u.setPort(relay->port());
        // The relay reads the session's messages.
        QString query = QStringLiteral("sslmode=disable&gssencmode=disable");
        if (!serverTimeOuts)
            query += QStringLiteral("&options=-c%20statement_timeout%3D0%20-c%20lock_timeout%3D0"
                                    "%20-c%20idle_in_transaction_session_timeout%3D0");
        u.setQuery(query);
    }
    return u;
}

void TestStalls::commandsEndWithinTheirBound_data()
{
    QTest::addColumn<bool>("freezeServer");
    QTest::newRow("relay silent after the login") << false;
    // The server's own time-outs off: only the station's watchdog ends the wait.
    QTest::newRow("session's server process frozen after the login") << true;
}

void TestStalls::commandsEndWithinTheirBound()
{
    QFETCH(bool, freezeServer);
    QTemporaryDir dir;
    PgRelay relay(cluster.port());
    writeStationIni(dir.path(), "line1-a", url(&relay, !freezeServer));
    {
        RecordStore store(dir.path(), 0);
        RunRecord r = store.begin("tester");
        r.finish(RunOutcome::Pass);
        QVERIFY(store.write(r));
    }
    relay.stall(QByteArray(), freezeServer);
    for (RecordCommand command : {recordsCommand, yieldCommand, syncCommand}) {
        QString out;
        qint64 ms = 0;
        const int status = inFolder(dir.path(), command, {}, &out, &ms);
        qInfo("ended after %lld ms with status %d", ms, status);
        QVERIFY2(status == 1, qPrintable(out));
        QVERIFY2(ms < 5000, qPrintable(QString("%1 ms: %2").arg(ms).arg(out)));
        QVERIFY2(out.contains("does not answer"), qPrintable(out));
    }
    QVERIFY(relay.stalledCount() >= 3);
    // Nothing lost: the record still waits for the server.
    relay.passAll();
    QString out;
    QCOMPARE(inFolder(dir.path(), syncCommand, {}, &out), 0);
    QCOMPARE(cluster.runIds().size(), 1);
}

void TestStalls::programEndsPromptly()
{
    QTemporaryDir dir;
    PgRelay relay(cluster.port());
    writeStationIni(dir.path(), "line1-a", url(&relay));
    relay.stall();
    auto store = std::make_unique<RecordStore>(dir.path());
    RunRecord r = store->begin("tester");
    r.finish(RunOutcome::Pass);
    QVERIFY(store->write(r));
    QTRY_VERIFY_WITH_TIMEOUT(relay.stalledCount() > 0, 10000);
    endWithinBound(std::move(store));
    QCOMPARE(localRunCount(dir.path()), 1);
}

void TestStalls::forwardingGoesOnAfterAStallMidStatement()
{
    QTemporaryDir dir;
    PgRelay relay(cluster.port());
    writeStationIni(dir.path(), "line1-a", url(&relay));
    relay.stall("INSERT INTO runs");
    RecordStore store(dir.path(), 300);
    QSignalSpy serverProblems(&store, &RecordStore::serverProblemChanged);
    RunRecord r = store.begin("tester");
    r.finish(RunOutcome::Pass);
    QVERIFY(store.write(r));
    QTRY_COMPARE_WITH_TIMEOUT(relay.stalledCount(), 1, 10000);
    // The stalled session stays silent; the forwarder gives it up and goes on.
    relay.passAll();
    QTRY_COMPARE_WITH_TIMEOUT(cluster.runIds(), QStringList{r.id.toString(QUuid::WithoutBraces)}, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(!serverProblems.isEmpty(), 5000); // queued from the forwarder's thread
    QVERIFY2(serverProblems.first().first().toString().contains("does not answer"),
             qPrintable(serverProblems.first().first().toString()));
}

void TestStalls::bandctlEndsPromptly()
{
    QTemporaryDir dir;
    PgRelay relay(cluster.port());
    writeStationIni(dir.path(), "line1-a", url(&relay));
    QVERIFY(QFile::copy(TESTER_DEF_XML, dir.filePath("def.xml")));
    relay.stall();

    // A run's end waits at most about half a second for the server after its result.
    QProcess test;
    test.setWorkingDirectory(dir.path());
    test.start(BANDCTL_PATH, {"--simulate", "--json", "test"});
    QVERIFY(test.waitForReadyRead(20000));
    QElapsedTimer sinceResult;
    sinceResult.start();
    QVERIFY(test.waitForFinished(20000));
    qInfo("bandctl test ended %lld ms after its result", sinceResult.elapsed());
    QVERIFY2(sinceResult.elapsed() < 1500, qPrintable(QString("%1 ms after the result").arg(sinceResult.elapsed())));
    QCOMPARE(test.exitCode(), 0);
    QCOMPARE(localRunCount(dir.path()), 1);

    // SIGTERM ends a wait for the server within a second, with exit code 6.
    for (const char *command : {"records", "yield", "sync"}) {
        const int stalledBefore = relay.stalledCount();
        QProcess reader;
        reader.setWorkingDirectory(dir.path());
        reader.start(BANDCTL_PATH, {command});
        QTRY_VERIFY_WITH_TIMEOUT(relay.stalledCount() > stalledBefore, 10000);
        QElapsedTimer sinceSignal;
        sinceSignal.start();
        ::kill(pid_t(reader.processId()), SIGTERM);
        QVERIFY(reader.waitForFinished(10000));
        qInfo("bandctl %s ended %lld ms after SIGTERM", command, sinceSignal.elapsed());
        QVERIFY2(sinceSignal.elapsed() < 1000, qPrintable(QString("%1: %2 ms").arg(command).arg(sinceSignal.elapsed())));
        QCOMPARE(reader.exitStatus(), QProcess::NormalExit);
        QCOMPARE(reader.exitCode(), 6);
        QVERIFY2(reader.readAllStandardError().contains("stopped waiting"), command);
    }
    QCOMPARE(localRunCount(dir.path()), 1);
}

void TestStalls::serverLogsNoErrorForTheStation()
{
    // Each forward opens a session of its own; the server has nothing to complain about.
    QTemporaryDir dir;
    const int logged = cluster.log().size();
    writeStationIni(dir.path(), "line1-a", cluster.url());
    for (int i = 0; i < 3; ++i) {
        RecordStore store(dir.path());
        RunRecord r = store.begin("tester");
        r.finish(RunOutcome::Pass);
        QVERIFY(store.write(r));
        QTRY_COMPARE_WITH_TIMEOUT(cluster.runIds().size(), i + 1, 10000);
    }
    const QString log = cluster.log().mid(logged);
    for (const char *complaint : {"could not", "unexpected EOF", "incomplete startup packet", "ERROR", "FATAL"})
        QVERIFY2(!log.contains(complaint), qPrintable(log));
}

QTEST_GUILESS_MAIN(TestStalls)
#include "tst_stalls.moc"

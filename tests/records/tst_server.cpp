// Forwarding to a real PostgreSQL server the test starts itself: once and in
// order, through an outage, from two stations at once, and read back.
#include "connections.h"
#include "recordcommands.h"
#include "recordstore.h"
#include "recordtesting.h"
#include "pgcluster.h"
#include "yieldreport.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

class TestServer : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void forwardedOnceInOrderThroughAnOutage();
    void retriedWithoutNewRecords();
    void twoStationsAtOnce();
    void refusedLogin();
    void readBackFromServerOrLocal();
    void oneStationTwoFiles();
    void syncSendsEverythingWaiting();
    void lockedTableHoldsNothing();
    void frozenServerHoldsNothing();

private:
    // A station in folder whose first record (*first) reached the server.
    std::unique_ptr<RecordStore> connectedStation(const QString &folder, QString *first);
    // A program's end waits at most about half a second for the server.
    // Ids on the server, in the order it received them; station "" = all.
    QStringList serverIds(const QString &station = QString());
    // Where the server's run `id` says its band was plugged in.
    QString serverUsbPath(const QString &id);
    QStringList localIds(const QString &folder);
    RunRecord writeRun(RecordStore &store, RunOutcome outcome = RunOutcome::Pass);

    PgCluster cluster;
};

void TestServer::initTestCase()
{
    QVERIFY2(cluster.create(), qPrintable(cluster.error()));
}

void TestServer::init()
{
    if (!cluster.isRunning())
        QVERIFY2(cluster.start(), qPrintable(cluster.error()));
    QVERIFY2(cluster.dropTables(), qPrintable(cluster.error()));
}

QString TestServer::serverUsbPath(const QString &id)
{
    const QString name = uniqueConnectionName(QStringLiteral("test"));
    QString place;
    {
        QString error;
        QSqlDatabase db = openServerDatabase(name, cluster.url(), 5, &error);
        QSqlQuery q(db);
        q.prepare("SELECT usb_path FROM runs WHERE id = ?");
        q.addBindValue(id);
        if (q.exec() && q.next())
            place = q.value(0).toString();
    }
    closeConnection(name);
    return place;
}

QStringList TestServer::serverIds(const QString &station)
{
    return cluster.runIds(station);
}

QStringList TestServer::localIds(const QString &folder)
{
    const QString name = uniqueConnectionName(QStringLiteral("test"));
    QStringList ids;
    {
        QString error;
        QSqlDatabase db = openLocalDatabase(name, folder, true, &error);
        QSqlQuery q(db);
        if (q.exec("SELECT id FROM runs ORDER BY seq"))
            while (q.next())
                ids << q.value(0).toString();
    }
    closeConnection(name);
    return ids;
}

std::unique_ptr<RecordStore> TestServer::connectedStation(const QString &folder, QString *first)
{
    writeStationIni(folder, "line1-a", cluster.url());
    auto store = std::make_unique<RecordStore>(folder);
    *first = writeRun(*store).id.toString(QUuid::WithoutBraces);
    [&] { QTRY_COMPARE_WITH_TIMEOUT(serverIds(), QStringList{*first}, 10000); }();
    return store;
}

RunRecord TestServer::writeRun(RecordStore &store, RunOutcome outcome)
{
    RunRecord r = store.begin("tester");
    r.finish(outcome);
    QElapsedTimer timer;
    timer.start();
    const bool ok = store.write(r);
    // Whatever the server does, the window is not kept waiting.
    [&] { QVERIFY2(timer.elapsed() < 1000, "a write waited for the server"); }();
    [&] { QVERIFY2(ok, qPrintable(store.problem())); }();
    return r;
}

void TestServer::forwardedOnceInOrderThroughAnOutage()
{
    QTemporaryDir dir;
    writeStationIni(dir.path(), "line1-a", cluster.url());
    RecordStore store(dir.path());
    QSignalSpy serverProblems(&store, &RecordStore::serverProblemChanged);
    QStringList ids;
    RunRecord placed = store.begin("burner");
    placed.usbPath = "1-1.4.2";
    placed.finish(RunOutcome::Pass);
    QVERIFY(store.write(placed));
    ids << placed.id.toString(QUuid::WithoutBraces);
    QTRY_COMPARE_WITH_TIMEOUT(serverIds(), ids, 10000);
    QCOMPARE(serverUsbPath(ids.first()), QStringLiteral("1-1.4.2"));

    QVERIFY(cluster.stop());
    ids << writeRun(store, RunOutcome::Fail).id.toString(QUuid::WithoutBraces);
    ids << writeRun(store).id.toString(QUuid::WithoutBraces);
    QTRY_VERIFY_WITH_TIMEOUT(!serverProblems.isEmpty(), 10000);
    QVERIFY(serverProblems.last().first().toString().contains("records server"));
    QVERIFY(!serverProblems.last().first().toString().contains("band-secret"));
    QVERIFY(store.problem().isEmpty());

    QVERIFY(cluster.start());
    // The next record takes the waiting ones with it, oldest first.
    ids << writeRun(store).id.toString(QUuid::WithoutBraces);
    QTRY_COMPARE_WITH_TIMEOUT(serverIds(), ids, 10000);
    QTRY_VERIFY(serverProblems.last().first().toString().isEmpty());

    // A resend (as after a crash between the server's commit and ours) is harmless.
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "requeue");
        db.setDatabaseName(dir.filePath("results.db"));
        QVERIFY(db.open());
        QVERIFY(QSqlQuery(db).exec("INSERT INTO outbox (seq) SELECT seq FROM runs"));
        db.close();
    }
    QSqlDatabase::removeDatabase("requeue");
    ids << writeRun(store).id.toString(QUuid::WithoutBraces);
    QTRY_COMPARE_WITH_TIMEOUT(serverIds(), ids, 10000);
}

void TestServer::retriedWithoutNewRecords()
{
    QTemporaryDir dir;
    writeStationIni(dir.path(), "line1-a", cluster.url());
    QVERIFY(cluster.stop());
    RecordStore store(dir.path(), 300);
    const RunRecord r = writeRun(store);
    QVERIFY(cluster.start());
    QTRY_COMPARE_WITH_TIMEOUT(serverIds(), QStringList{r.id.toString(QUuid::WithoutBraces)}, 15000);
}

void TestServer::twoStationsAtOnce()
{
    QTemporaryDir a, b;
    writeStationIni(a.path(), "line1-a", cluster.url());
    writeStationIni(b.path(), "line1-b", cluster.url());
    QProcess first, second;
    first.start(recordChildPath(), {a.path(), "write", "60"});
    second.start(recordChildPath(), {b.path(), "write", "60"});
    QVERIFY(first.waitForFinished(60000) && second.waitForFinished(60000));
    QVERIFY(first.readAllStandardOutput().contains("{\"waiting\":0,\"written\":60}"));
    QVERIFY(second.readAllStandardOutput().contains("{\"waiting\":0,\"written\":60}"));
    QCOMPARE(serverIds().size(), 120);
    QCOMPARE(serverIds("line1-a"), localIds(a.path()));
    QCOMPARE(serverIds("line1-b"), localIds(b.path()));

    // The line's yield, from the server.
    const QString name = uniqueConnectionName("yield");
    {
        QString error;
        QSqlDatabase db = openServerDatabase(name, cluster.url(), 5, &error);
        YieldReport report;
        QVERIFY2(report.compute(db, RecordFilter(), &error), qPrintable(error));
        qint64 runs = 0;
        QStringList stations;
        for (const YieldRow &row : report.rows) {
            runs += row.runs;
            QCOMPARE(row.passed, row.runs);
            stations << row.station;
        }
        QCOMPARE(runs, 120);
        QVERIFY(stations.contains("line1-a") && stations.contains("line1-b"));
    }
    closeConnection(name);
}

void TestServer::refusedLogin()
{
    QTemporaryDir dir;
    writeStationIni(dir.path(), "line1-a", cluster.url("wrong"));
    RecordStore store(dir.path());
    QSignalSpy serverProblems(&store, &RecordStore::serverProblemChanged);
    writeRun(store);
    QTRY_VERIFY_WITH_TIMEOUT(!serverProblems.isEmpty(), 10000);
    QVERIFY2(serverProblems.last().first().toString().contains("password authentication failed"),
             qPrintable(serverProblems.last().first().toString()));
    QCOMPARE(localIds(dir.path()).size(), 1);
}

void TestServer::readBackFromServerOrLocal()
{
    QTemporaryDir a, b;
    writeStationIni(a.path(), "line1-a", cluster.url());
    writeStationIni(b.path(), "line1-b", cluster.url());
    {
        RecordStore storeA(a.path()), storeB(b.path());
        for (RunRecord r : {makeRun("tester", "line1-a", "2026-12-07T08:00:00", RunOutcome::Fail, "aa", "7.读取参数"),
                            makeRun("tester", "line1-a", "2026-12-07T08:01:00", RunOutcome::Pass, "aa")})
            QVERIFY(storeA.write(r));
        RunRecord other = makeRun("tester", "line1-b", "2026-12-07T09:00:00", RunOutcome::Pass, "bb");
        QVERIFY(storeB.write(other));
        QTRY_COMPARE_WITH_TIMEOUT(serverIds().size(), 3, 10000);
    }
    const QString here = QDir::currentPath();
    QDir::setCurrent(a.path());
    QString server, local, yield, err;
    QTextStream serverOut(&server), localOut(&local), yieldOut(&yield), errOut(&err);
    QCOMPARE(recordsCommand({"--json"}, serverOut, errOut), 0);
    QCOMPARE(recordsCommand({"--json", "--local"}, localOut, errOut), 0);
    QCOMPARE(yieldCommand({"--json", "--since", "2026-12-07", "--until", "2026-12-07"}, yieldOut, errOut), 0);
    QDir::setCurrent(here);
    serverOut.flush();
    localOut.flush();
    yieldOut.flush();
    QCOMPARE(server.count('\n'), 3);
    QVERIFY(server.contains("\"station\":\"line1-b\""));
    QCOMPARE(local.count('\n'), 2);
    QVERIFY(!local.contains("line1-b"));
    QCOMPARE(yield.split('\n').first(),
             QStringLiteral("{\"day\":\"2026-12-07\",\"fail\":1,\"first_pass\":0,\"first_pass_yield\":0,\"interrupted\":0,\"kind\":\"yield\","
                            "\"pass\":1,\"program\":\"tester\",\"runs\":2,\"station\":\"line1-a\",\"units\":1}"));
    QVERIFY(yield.contains("{\"count\":1,\"failed_step\":\"7.读取参数\",\"kind\":\"failing_step\",\"program\":\"tester\"}"));
}

void TestServer::oneStationTwoFiles()
{
    // A damaged file moved aside, or two operators' folders: one station, one band.
    QTemporaryDir a, b;
    writeStationIni(a.path(), "line1-a", cluster.url());
    writeStationIni(b.path(), "line1-a", cluster.url());
    {
        RecordStore storeA(a.path()), storeB(b.path());
        RunRecord failed = makeRun("tester", "line1-a", "2026-12-07T08:00:00", RunOutcome::Fail, "aa", "7.读取参数");
        RunRecord passed = makeRun("tester", "line1-a", "2026-12-07T09:00:00", RunOutcome::Pass, "aa");
        QVERIFY(storeA.write(failed));
        QVERIFY(storeB.write(passed));
        QTRY_COMPARE_WITH_TIMEOUT(serverIds().size(), 2, 10000);
    }
    QString out;
    QCOMPARE(inFolder(a.path(), yieldCommand, {"--json"}, &out), 0);
    QVERIFY2(out.startsWith("{\"day\":\"2026-12-07\",\"fail\":1,\"first_pass\":0,\"first_pass_yield\":0,"
                            "\"interrupted\":0,\"kind\":\"yield\",\"pass\":1,\"program\":\"tester\",\"runs\":2,\"station\":\"line1-a\","
                            "\"units\":1}"), qPrintable(out));
}

void TestServer::syncSendsEverythingWaiting()
{
    // Records of a station that had no server yet, more than one run used to send.
    QTemporaryDir dir;
    writeStationIni(dir.path(), "line1-a");
    QStringList ids;
    {
        RecordStore store(dir.path());
        for (int i = 0; i < 1100; ++i)
            ids << writeRun(store).id.toString(QUuid::WithoutBraces);
    }
    QString out;
    QCOMPARE(inFolder(dir.path(), syncCommand, {}, &out), 1);
    QVERIFY2(out.contains("names no records server"), qPrintable(out));

    writeStationIni(dir.path(), "line1-a", cluster.url());
    out.clear();
    QCOMPARE(inFolder(dir.path(), syncCommand, {"--json"}, &out), 0);
    QVERIFY2(out.contains("\"sent\":1100") && out.contains("\"waiting\":0"), qPrintable(out));
    QVERIFY(!out.contains("band-secret"));
    QCOMPARE(serverIds(), ids);
    out.clear();
    QCOMPARE(inFolder(dir.path(), syncCommand, {}, &out), 0);
    QVERIFY2(out.startsWith("0 record(s) sent to postgresql://band@127.0.0.1:"), qPrintable(out));
    QVERIFY(out.contains(", 0 still waiting"));
}

void TestServer::lockedTableHoldsNothing()
{
    QTemporaryDir dir;
    QString first;
    auto store = connectedStation(dir.path(), &first);

    // A second session holds the table: every statement on it waits.
    QSqlDatabase holder = cluster.session("holder");
    QVERIFY(holder.isOpen());
    QSqlQuery lock(holder);
    QVERIFY(holder.transaction() && lock.exec("LOCK TABLE runs IN ACCESS EXCLUSIVE MODE"));

    const QString second = writeRun(*store).id.toString(QUuid::WithoutBraces);
    endWithinBound(std::move(store));

    QString out;
    qint64 ms = 0;
    // yield reads the server's day counts, which the lock does not hold; the
    // record that could not go is said.
    for (auto command : {recordsCommand, yieldCommand}) {
        out.clear();
        QCOMPARE(inFolder(dir.path(), command, {}, &out, &ms), command == recordsCommand ? 1 : 0);
        QVERIFY2(ms < 5000, qPrintable(QString("%1 ms: %2").arg(ms).arg(out)));
        QVERIFY2(out.contains("lock"), qPrintable(out));
    }
    QVERIFY2(out.contains("Records wait for the server"), qPrintable(out));
    out.clear();
    QCOMPARE(inFolder(dir.path(), syncCommand, {}, &out, &ms), 1);
    QVERIFY2(out.contains("0 record(s) sent") && out.contains("1 still waiting"), qPrintable(out));

    holder.rollback();
    out.clear();
    QCOMPARE(inFolder(dir.path(), syncCommand, {}, &out), 0);
    QVERIFY2(out.contains("1 record(s) sent"), qPrintable(out));
    QCOMPARE(serverIds(), (QStringList{first, second}));
    holder.close();
    holder = QSqlDatabase();
    QSqlDatabase::removeDatabase("holder");
}

void TestServer::frozenServerHoldsNothing()
{
    QTemporaryDir dir;
    QString first;
    auto store = connectedStation(dir.path(), &first);

    QVERIFY(cluster.freeze(true));
    const auto thaw = qScopeGuard([this] { cluster.freeze(false); });
    // The forwarder's connection is open: its next insert gets no answer.
    writeRun(*store);
    QTest::qWait(200);
    endWithinBound(std::move(store));

    QString out;
    qint64 ms = 0;
    for (auto command : {recordsCommand, yieldCommand, syncCommand}) {
        out.clear();
        QVERIFY2(inFolder(dir.path(), command, {}, &out, &ms) == 1, qPrintable(out));
        QVERIFY2(ms < 5000, qPrintable(QString("%1 ms: %2").arg(ms).arg(out)));
        QVERIFY2(out.contains("does not answer"), qPrintable(out));
    }
    cluster.freeze(false);
    out.clear();
    QCOMPARE(inFolder(dir.path(), syncCommand, {}, &out), 0);
    QCOMPARE(serverIds().size(), 2);
}

QTEST_GUILESS_MAIN(TestServer)
#include "tst_server.moc"

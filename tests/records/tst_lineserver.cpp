// The line's server as an administrator sets it up: the roles and what each
// may do, the day counts yield reads, and the notice of each new run; against
// a real PostgreSQL the test starts itself.
#include "connections.h"
#include "linetables.h"
#include "pgcluster.h"
#include "recordcommands.h"
#include "recordstore.h"
#include "recordtesting.h"
#include "schema.h"
#include "servercommand.h"

#include <QSignalSpy>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

class TestLineServer : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void initIsIdempotentAndUpgrades();
    void stationsAddRunsAndNothingElse();
    void dayCountsAgreeWithTheRuns();
    void newRunIsNotified();

private:
    // A login of the band_station or band_viewer role.
    void addLogin(const QString &name, const QString &role);
    QUrl loginUrl(const QString &name) const;
    // A statement run as that login; its error text, empty when it went through.
    QString asLogin(const QString &login, const QString &sql, int *rows = nullptr);
    QString serverInit();
    // Writes the runs in a station folder named station and sends them.
    int stationSends(const QString &folder, const QString &station, const QUrl &url, const QList<RunRecord> &runs,
                     QString *out);

    PgCluster cluster;
};

void TestLineServer::initTestCase()
{
    QVERIFY2(cluster.create(), qPrintable(cluster.error()));
}

void TestLineServer::init()
{
    QVERIFY2(cluster.dropTables(), qPrintable(cluster.error()));
}

QString TestLineServer::serverInit()
{
    QString out;
    const int status = inFolder(QDir::tempPath(), serverCommand, {"init", cluster.url().toString()}, &out);
    return status == 0 ? QString() : out;
}

void TestLineServer::addLogin(const QString &name, const QString &role)
{
    const QString connection = uniqueConnectionName("admin");
    {
        QSqlDatabase db = cluster.session(connection);
        QSqlQuery q(db);
        q.exec(QStringLiteral("DROP ROLE IF EXISTS \"%1\"").arg(name));
        const QString member = role.isEmpty() ? QString() : QStringLiteral(" IN ROLE ") + role;
        QVERIFY2(q.exec(QStringLiteral("CREATE ROLE \"%1\" LOGIN PASSWORD 'pw'%2").arg(name, member)),
                 qPrintable(q.lastError().text()));
    }
    QSqlDatabase::removeDatabase(connection);
}

QUrl TestLineServer::loginUrl(const QString &name) const
{
    QUrl url = cluster.url();
    url.setUserName(name);
    url.setPassword("pw");
    return url;
}

QString TestLineServer::asLogin(const QString &login, const QString &sql, int *rows)
{
    const QString name = uniqueConnectionName("login");
    QString error;
    {
        QSqlDatabase db = serverConnection(name, loginUrl(login), 5);
        if (!db.open())
            return db.lastError().text();
        QSqlQuery q(db);
        if (!q.exec(sql))
            error = q.lastError().text();
        else if (rows && q.next())
            *rows = q.value(0).toInt();
    }
    closeConnection(name);
    return error;
}

int TestLineServer::stationSends(const QString &folder, const QString &station, const QUrl &url,
                                 const QList<RunRecord> &runs, QString *out)
{
    writeStationIni(folder, station, url);
    {
        RecordStore store(folder, 0);
        for (RunRecord r : runs) {
            r.station = store.settings().name;
            store.write(r);
        }
    }
    return inFolder(folder, syncCommand, {}, out);
}

void TestLineServer::initIsIdempotentAndUpgrades()
{
    // A server of the previous schema, with runs a station sent before.
    const QString admin = uniqueConnectionName("admin");
    {
        QSqlDatabase db = cluster.session(admin);
        QSqlQuery q(db);
        for (const char *sql :
             {"CREATE TABLE runs (seq BIGSERIAL PRIMARY KEY, id TEXT NOT NULL UNIQUE, program TEXT NOT NULL,"
              " station TEXT NOT NULL, operator TEXT NOT NULL, started_at TEXT NOT NULL, ended_at TEXT NOT NULL,"
              " day TEXT NOT NULL, duration_ms BIGINT NOT NULL, outcome TEXT NOT NULL, failed_step TEXT,"
              " failed_row INTEGER, unit TEXT, first_try INTEGER NOT NULL, details TEXT NOT NULL,"
              " simulated INTEGER NOT NULL DEFAULT 0, usb_path TEXT)",
              "CREATE TABLE schema_info (version INTEGER NOT NULL)", "INSERT INTO schema_info VALUES (3)",
              "INSERT INTO runs (id, program, station, operator, started_at, ended_at, day, duration_ms, outcome,"
              " failed_step, unit, first_try, details) VALUES"
              " ('r1', 'tester', 'st-1', 'op', '2026-12-01T08:00:00.000Z', '', '2026-12-01', 1, 'fail', 'x', 'u1', 1, '{}'),"
              " ('r2', 'tester', 'st-1', 'op', '2026-12-01T08:01:00.000Z', '', '2026-12-01', 1, 'pass', NULL, 'u1', 0, '{}')"})
            QVERIFY2(q.exec(sql), qPrintable(q.lastError().text()));
    }
    QSqlDatabase::removeDatabase(admin);

    for (int round = 0; round < 2; ++round) {
        const QString problem = serverInit();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }
    // The earlier runs are counted once, however often init ran.
    addLogin("v-1", "band_viewer");
    int runs = -1, units = -1, failures = -1;
    QCOMPARE(asLogin("v-1", "SELECT runs FROM day_counts WHERE day = '2026-12-01'", &runs), QString());
    QCOMPARE(asLogin("v-1", "SELECT units FROM day_counts WHERE day = '2026-12-01'", &units), QString());
    QCOMPARE(asLogin("v-1", "SELECT failures FROM day_failures WHERE failed_step = 'x'", &failures), QString());
    QCOMPARE(runs, 2);
    QCOMPARE(units, 1);
    QCOMPARE(failures, 1);
    int version = -1;
    QCOMPARE(asLogin("v-1", "SELECT max(version) FROM schema_info", &version), QString());
    QCOMPARE(version, kSchemaVersion);
}

void TestLineServer::stationsAddRunsAndNothingElse()
{
    // Before the administrator set the server up, a station's login says who must.
    QTemporaryDir early;
    QString out;
    addLogin("st-0", "");
    QCOMPARE(stationSends(early.path(), "st-0", loginUrl("st-0"),
                          {makeRun("tester", "", "2026-12-07T07:00:00.000Z", RunOutcome::Pass)}, &out), 1);
    QVERIFY2(out.contains("no records tables yet, and the login st-0 may not change it")
                 && out.contains("bandctl server init"), qPrintable(out));

    QCOMPARE(serverInit(), QString());
    addLogin("st-1", "band_station");
    addLogin("st-2", "band_station");
    addLogin("v-1", "band_viewer");

    QTemporaryDir one, two, impostor;
    const QList<RunRecord> runs{
        makeRun("tester", "", "2026-12-07T08:00:00.000Z", RunOutcome::Fail, "aa:00:00:00:00:01", "3.读取时间"),
        makeRun("tester", "", "2026-12-07T08:01:00.000Z", RunOutcome::Pass, "aa:00:00:00:00:01")};
    QVERIFY2(stationSends(one.path(), "st-1", loginUrl("st-1"), runs, &out) == 0, qPrintable(out));
    QVERIFY2(stationSends(two.path(), "st-2", loginUrl("st-2"),
                          {makeRun("tester", "", "2026-12-07T08:00:00.000Z", RunOutcome::Pass, "aa:00:00:00:00:02")},
                          &out) == 0, qPrintable(out));

    // Sent again after a crash that kept the queue: still once on the server.
    const QString local = uniqueConnectionName("local");
    {
        QString error;
        QSqlDatabase db = openLocalDatabase(local, one.path(), false, &error);
        QVERIFY(QSqlQuery(db).exec("INSERT INTO outbox (seq) SELECT seq FROM runs"));
    }
    closeConnection(local);
    QVERIFY2(inFolder(one.path(), syncCommand, {}, &out) == 0, qPrintable(out));
    QCOMPARE(cluster.runIds("st-1").size(), 2);
    QCOMPARE(cluster.runIds("st-2").size(), 1);

    // The recount ran under the owner's rights: the band's pass was not its first try.
    int firstTries = -1;
    QCOMPARE(asLogin("st-1", "SELECT SUM(first_try) FROM runs", &firstTries), QString());
    QCOMPARE(firstTries, 1);

    // Nothing but adding: no change, no removal, no other station's runs or counts.
    QVERIFY(asLogin("st-1", "UPDATE runs SET outcome = 'pass'").contains("permission denied"));
    QVERIFY(asLogin("st-1", "DELETE FROM runs").contains("permission denied"));
    QVERIFY(asLogin("st-1", "UPDATE day_counts SET runs = 0").contains("permission denied"));
    QVERIFY(asLogin("st-1", "DELETE FROM stations").contains("permission denied"));
    int seen = -1;
    QCOMPARE(asLogin("st-1", "SELECT COUNT(*) FROM runs", &seen), QString());
    QCOMPARE(seen, 2);
    QCOMPARE(asLogin("st-1", "SELECT COUNT(*) FROM day_counts WHERE station <> 'st-1'", &seen), QString());
    QCOMPARE(seen, 0);
    QCOMPARE(asLogin("v-1", "SELECT COUNT(*) FROM runs", &seen), QString());
    QCOMPARE(seen, 3);
    QVERIFY(asLogin("v-1", "INSERT INTO schema_info VALUES (9)").contains("permission denied"));

    // A station that calls itself another: its runs wait, and the reason says whose they may be.
    QCOMPARE(stationSends(impostor.path(), "st-2", loginUrl("st-1"),
                          {makeRun("tester", "", "2026-12-07T09:00:00.000Z", RunOutcome::Pass, "aa:00:00:00:00:03")},
                          &out), 1);
    QVERIFY2(out.contains("st-1") && out.contains("st-2"), qPrintable(out));
    QCOMPARE(cluster.runIds("st-2").size(), 1);
    QCOMPARE(localRunCount(impostor.path()), 1);

    // A station's login cannot set the server up.
    QUrl station = loginUrl("st-1");
    QString initOut;
    QCOMPARE(inFolder(QDir::tempPath(), serverCommand, {"init", station.toString()}, &initOut), 1);
    QVERIFY2(initOut.contains("the login st-1 may not set the records server up"), qPrintable(initOut));
}

void TestLineServer::dayCountsAgreeWithTheRuns()
{
    // Two stations, two days, first tries judged across out-of-order arrivals.
    QTemporaryDir a1, a2, b;
    QString out;
    const QUrl owner = cluster.url();
    QVERIFY2(stationSends(a1.path(), "A", owner,
                          {makeRun("tester", "", "2026-12-06T10:00:00.000Z", RunOutcome::Pass, "u1"),
                           makeRun("tester", "", "2026-12-07T10:05:00.000Z", RunOutcome::Pass, "u2"),
                           makeRun("burner", "", "2026-12-07T10:06:00.000Z", RunOutcome::Interrupted, "u2")},
                          &out) == 0, qPrintable(out));
    // The same station's other results.db holds the earlier, failing run of u2.
    QVERIFY2(stationSends(a2.path(), "A", owner,
                          {makeRun("tester", "", "2026-12-07T09:00:00.000Z", RunOutcome::Fail, "u2", "5.设置参数"),
                           makeRun("tester", "", "2026-12-07T09:30:00.000Z", RunOutcome::Fail, "", "5.设置参数")},
                          &out) == 0, qPrintable(out));
    RunRecord simulated = makeRun("tester", "", "2026-12-07T11:00:00.000Z", RunOutcome::Pass, "u9");
    simulated.simulated = true;
    QVERIFY2(stationSends(b.path(), "B", owner,
                          {makeRun("tester", "", "2026-12-07T11:00:00.000Z", RunOutcome::Fail, "u3", "3.读取时间"),
                           simulated},
                          &out) == 0, qPrintable(out));

    // The counts the server kept against the same report worked out from the runs
    // (a range inside the days takes the runs' path).
    for (const QStringList &args : {QStringList{}, QStringList{"--include-simulated"},
                                    QStringList{"--since", "2026-12-07", "--station", "A"}}) {
        QString counted, fromRuns;
        QCOMPARE(inFolder(a1.path(), yieldCommand, args + QStringList{"--json"}, &counted), 0);
        QStringList ranged = args;
        if (!ranged.contains("--since"))
            ranged << "--since" << "2026-12-01";
        ranged << "--until" << "2026-12-31T23:59:59";
        QCOMPARE(inFolder(a1.path(), yieldCommand, ranged + QStringList{"--json"}, &fromRuns), 0);
        QCOMPARE(counted, fromRuns);
    }
    QString report;
    QCOMPARE(inFolder(a1.path(), yieldCommand, {"--json", "--station", "A", "--since", "2026-12-07"}, &report), 0);
    // u2's first run there that day failed; the run without an address is a unit of its own.
    QVERIFY2(report.contains("\"program\":\"tester\",\"runs\":3,\"station\":\"A\",\"units\":2")
                 && report.contains("\"first_pass\":0"), qPrintable(report));
    QVERIFY2(report.contains("\"count\":2,\"failed_step\":\"5.设置参数\""), qPrintable(report));
}

void TestLineServer::newRunIsNotified()
{
    QTemporaryDir folder;
    QString out;
    // The tables first, and a run before the listener starts.
    QVERIFY2(stationSends(folder.path(), "A", cluster.url(),
                          {makeRun("tester", "", "2026-12-07T07:00:00.000Z", RunOutcome::Pass, "u0")}, &out) == 0,
             qPrintable(out));
    const QString listener = uniqueConnectionName("listen");
    {
        QSqlDatabase db = cluster.session(listener);
        QVERIFY(db.driver()->subscribeToNotification(kNewRunChannel));
        QSignalSpy notices(db.driver(), &QSqlDriver::notification);
        const RunRecord run = makeRun("tester", "", "2026-12-07T08:00:00.000Z", RunOutcome::Pass, "u1");
        QVERIFY2(stationSends(folder.path(), "A", cluster.url(), {run}, &out) == 0, qPrintable(out));
        QTRY_COMPARE_WITH_TIMEOUT(notices.size(), 1, 5000);
        QCOMPARE(notices[0][0].toString(), QString(kNewRunChannel));
        QCOMPARE(notices[0][2].toString(), run.id.toString(QUuid::WithoutBraces));
        // The first-try recount changes runs but adds none: no second notice.
        QTest::qWait(200);
        QCOMPARE(notices.size(), 1);
        db.driver()->unsubscribeFromNotification(kNewRunChannel);
    }
    closeConnection(listener);
}

QTEST_GUILESS_MAIN(TestLineServer)
#include "tst_lineserver.moc"

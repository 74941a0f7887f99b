// The line as its server knows it, against a real PostgreSQL the test
// starts: stations report themselves, `line` shows and flags them, `unit`
// follows one band across stations, and a station's login keeps to its row.
#include "connections.h"
#include "lineroles.h"
#include "pgcluster.h"
#include "recordcommands.h"
#include "recordstore.h"
#include "recordtesting.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// Rounds this often rather than every 30 s, so that a refresh is soon seen.
constexpr int kRoundMs = 2000;

QString sha256Of(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
               ? QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex())
               : QString();
}

QList<QJsonObject> jsonLines(const QString &text)
{
    QList<QJsonObject> objects;
    for (const QString &line : text.split(u'\n', Qt::SkipEmptyParts)) {
        const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8());
        if (doc.isObject())
            objects << doc.object();
    }
    return objects;
}

QString today(const QString &time)
{
    return QDateTime::currentDateTimeUtc().date().toString(Qt::ISODate) + u'T' + time + u'Z';
}

} // namespace

class TestLine : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void reportsArriveAndAreRefreshed();
    void lineShowsOnlineYieldAndDifferences();
    void everyFrontEndRecordsWhatItUsed();
    void unitHistoryAcrossStationsAndWrongRoutes();
    void stationLoginKeepsToItsOwnRow();

private:
    // The server's report of station for program, by column; empty when none.
    QVariantMap report(const QString &station, const QString &program);
    bool onServer(const QString &sql);
    std::unique_ptr<RecordStore> station(const QTemporaryDir &dir, const QString &name, const StationIdentity &identity);

    PgCluster cluster;
};

void TestLine::initTestCase()
{
    QVERIFY2(cluster.create(), qPrintable(cluster.error()));
}

void TestLine::init()
{
    QVERIFY2(cluster.dropTables(), qPrintable(cluster.error()));
    QVERIFY(onServer("DROP TABLE IF EXISTS stations, day_counts, day_failures"));
}

bool TestLine::onServer(const QString &sql)
{
    bool ok = false;
    {
        QSqlDatabase db = cluster.session(QStringLiteral("line-test"));
        QSqlQuery q(db);
        ok = q.exec(sql);
        if (!ok)
            qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("line-test"));
    return ok;
}

QVariantMap TestLine::report(const QString &stationName, const QString &program)
{
    QVariantMap row;
    {
        QSqlDatabase db = cluster.session(QStringLiteral("line-report"));
        QSqlQuery q(db);
        q.prepare("SELECT version, host, def_sha256, image_sha256, image_version, waiting,"
                  " extract(epoch FROM now() - last_seen) AS age FROM stations WHERE station = ? AND program = ?");
        q.addBindValue(stationName);
        q.addBindValue(program);
        if (q.exec() && q.next())
            for (int i = 0; i < q.record().count(); ++i)
                row.insert(q.record().fieldName(i), q.value(i));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("line-report"));
    return row;
}

std::unique_ptr<RecordStore> TestLine::station(const QTemporaryDir &dir, const QString &name,
                                               const StationIdentity &identity)
{
    writeStationIni(dir.path(), name, cluster.url());
    auto store = std::make_unique<RecordStore>(dir.path(), kRoundMs);
    store->setIdentity(identity);
    return store;
}

void TestLine::reportsArriveAndAreRefreshed()
{
    QTemporaryDir dir;
    const StationIdentity burner{"burner", "1.0", QString(64, u'd'), QString(64, u'a')};
    auto store = station(dir, "burn-1", burner);
    // Reported as soon as the identity is known, before any record.
    QTRY_VERIFY_WITH_TIMEOUT(!report("burn-1", "burner").isEmpty(), 10000);
    QVariantMap seen = report("burn-1", "burner");
    QCOMPARE(seen.value("def_sha256").toString(), burner.defSha256);
    QCOMPARE(seen.value("host").toString(), QSysInfo::machineHostName());
    QVERIFY(seen.value("image_version").isNull()); // no burn of the image passed yet

    // A passing burn of the image names the version the band came back with.
    RunRecord burn = store->begin("burner");
    burn.imageSha256 = burner.imageSha256;
    burn.imageVersion = "2.1.0.7";
    burn.finish(RunOutcome::Pass);
    QVERIFY(onServer("UPDATE stations SET last_seen = now() - interval '10 minutes'"));
    QVERIFY(store->write(burn));
    QTRY_COMPARE_WITH_TIMEOUT(report("burn-1", "burner").value("image_version").toString(), QStringLiteral("2.1.0.7"),
                              10000);
    QVERIFY(report("burn-1", "burner").value("age").toDouble() < 60); // last seen moved on

    // Records the server does not take yet are counted as waiting.
    QSqlDatabase locker = cluster.session("locker");
    QSqlQuery lock(locker);
    QVERIFY(locker.transaction());
    QVERIFY(lock.exec("LOCK TABLE runs IN ACCESS EXCLUSIVE MODE"));
    RunRecord waiting = store->begin("burner");
    waiting.finish(RunOutcome::Fail, "CSD", 0);
    QVERIFY(store->write(waiting));
    QTRY_COMPARE_WITH_TIMEOUT(report("burn-1", "burner").value("waiting").toInt(), 1, 15000);
    QVERIFY(locker.rollback());
    lock = QSqlQuery();
    locker = QSqlDatabase();
    QSqlDatabase::removeDatabase("locker");
    QTRY_COMPARE_WITH_TIMEOUT(report("burn-1", "burner").value("waiting").toInt(), 0, 15000);
}

void TestLine::lineShowsOnlineYieldAndDifferences()
{
    const QString defA(64, u'a'), defB(64, u'b'), image(64, u'c');
    QTemporaryDir a, b, c, d;
    auto storeA = station(a, "test-a", {"tester", "1.0", defA, {}});
    auto storeB = station(b, "test-b", {"tester", "1.0", defA, {}});
    auto storeC = station(c, "test-c", {"tester", "1.0", defB, {}});
    auto storeD = station(d, "burn-d", {"burner", "1.0", defB, image});
    // test-a today: one band passed first time, one only at its second run; a virtual band not counted.
    RunRecord first = makeRun("tester", "test-a", today("00:00:01"), RunOutcome::Pass, "00:00:00:00:00:01");
    RunRecord failed = makeRun("tester", "test-a", today("00:00:05"), RunOutcome::Fail, "00:00:00:00:00:02", "SetConf");
    RunRecord retried = makeRun("tester", "test-a", today("00:00:09"), RunOutcome::Pass, "00:00:00:00:00:02");
    RunRecord simulated = makeRun("tester", "test-a", today("00:00:10"), RunOutcome::Pass, "00:00:00:00:00:03");
    simulated.simulated = true;
    for (RunRecord *r : {&first, &failed, &retried, &simulated})
        QVERIFY(storeA->write(*r));
    QTRY_COMPARE_WITH_TIMEOUT(cluster.runIds("test-a").size(), 4, 10000);
    for (const char *name : {"test-a", "test-b", "test-c"})
        QTRY_VERIFY_WITH_TIMEOUT(!report(name, "tester").isEmpty(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!report("burn-d", "burner").isEmpty(), 10000);
    QVERIFY(onServer("UPDATE stations SET last_seen = now() - interval '3 minutes' WHERE station = 'test-b'"));

    QString out;
    QCOMPARE(inFolder(a.path(), lineCommand, {"--json"}, &out), 0);
    QMap<QString, QJsonObject> line;
    for (const QJsonObject &o : jsonLines(out))
        line.insert(o.value("station").toString(), o);
    QCOMPARE(line.keys(), (QStringList{"burn-d", "test-a", "test-b", "test-c"}));
    QCOMPARE(line["test-a"].value("online").toBool(), true);
    QCOMPARE(line["test-b"].value("online").toBool(), false);
    QCOMPARE(line["test-a"].value("runs_today").toInt(), 3);
    QCOMPARE(line["test-a"].value("first_pass_yield_today").toDouble(), 0.5);
    QCOMPARE(line["test-a"].value("def_sha256").toString(), defA);
    // test-c uses another def.xml than the line's testers; the only burner is its own line.
    QCOMPARE(line["test-c"].value("flags").toArray().size(), 1);
    QVERIFY(line["test-c"].value("flags").toArray().first().toString().contains(defA.left(12)));
    QVERIFY(line["test-a"].value("flags").toArray().isEmpty());
    QVERIFY(line["burn-d"].value("flags").toArray().isEmpty());
    QCOMPARE(line["burn-d"].value("image_sha256").toString(), image);

    out.clear();
    QCOMPARE(inFolder(a.path(), lineCommand, {}, &out), 0);
    QVERIFY2(out.contains("def.xml differs from the tester stations' " + defA.left(12)), qPrintable(out));
    QVERIFY(out.contains("50.0%"));

    // A viewer's --server that cannot be reached: exit 6 in bandctl, within the bound.
    out.clear();
    qint64 ms = 0;
    QUrl unreachable = cluster.url();
    unreachable.setPort(1);
    QCOMPARE(inFolder(a.path(), lineCommand, {"--server", unreachable.toString()}, &out, &ms), 1);
    QVERIFY(ms < 6000);
    QCOMPARE(inFolder(a.path(), lineCommand, {"--server", "http://x"}, &out), 2);
}

void TestLine::everyFrontEndRecordsWhatItUsed()
{
    QTemporaryDir dir;
    const QString burnerFiles = QStringLiteral(BURNER_SOURCE_DIR);
    QVERIFY(QDir(dir.path()).mkdir("bin"));
    QVERIFY(QFile::copy(burnerFiles + "/def.xml", dir.filePath("def.xml")));
    QVERIFY(QFile::copy(burnerFiles + "/bin/band.cfg", dir.filePath("bin/band.cfg")));
    QVERIFY(QFile::copy(burnerFiles + "/bin/band.bin", dir.filePath("bin/band.bin")));
    writeStationIni(dir.path(), "line-1", cluster.url());
    for (const QStringList &run : {QStringList{"--simulate", "test", "--def", TESTER_DEF_XML},
                                   QStringList{"--simulate", "burn"}}) {
        QProcess bandctl;
        bandctl.setWorkingDirectory(dir.path());
        bandctl.start(BANDCTL_PATH, run);
        QVERIFY(bandctl.waitForFinished(60000));
        QVERIFY2(bandctl.exitCode() == 0, bandctl.readAllStandardError().constData());
    }
    const QList<QJsonObject> runs = localRuns(dir.path());
    QCOMPARE(runs.size(), 2);
    QCOMPARE(runs[0].value("def_sha256").toString(), sha256Of(TESTER_DEF_XML));
    QVERIFY(runs[0].value("image_sha256").isNull());
    QCOMPARE(runs[1].value("def_sha256").toString(), sha256Of(dir.filePath("def.xml")));
    QCOMPARE(runs[1].value("image_sha256").toString(), sha256Of(dir.filePath("bin/band.bin")));
    const QString version = runs[1].value("details").toObject().value("version").toString();
    QVERIFY(!version.isEmpty());
    QCOMPARE(runs[1].value("image_version").toString(), version);

    // Each reported itself with the same.
    QCOMPARE(report("line-1", "tester").value("def_sha256").toString(), sha256Of(TESTER_DEF_XML));
    const QVariantMap burner = report("line-1", "burner");
    QCOMPARE(burner.value("def_sha256").toString(), sha256Of(dir.filePath("def.xml")));
    QCOMPARE(burner.value("image_sha256").toString(), sha256Of(dir.filePath("bin/band.bin")));
    // A virtual band's version is not the image's.
    QVERIFY(burner.value("image_version").isNull());
    QCOMPARE(burner.value("waiting").toInt(), 0);
}

void TestLine::unitHistoryAcrossStationsAndWrongRoutes()
{
    QTemporaryDir burnerDir, testerDir;
    auto burner = station(burnerDir, "burn-1", {});
    auto tester = station(testerDir, "test-1", {});
    const QString good = "aa:bb:cc:00:00:01", unburned = "aa:bb:cc:00:00:02", stubborn = "aa:bb:cc:00:00:03";
    // The tester's runs reach the server first, the burner's later and earlier in time.
    QList<RunRecord> tests{makeRun("tester", "test-1", "2026-03-01T10:00:00Z", RunOutcome::Pass, good),
                           makeRun("tester", "test-1", "2026-03-01T10:05:00Z", RunOutcome::Pass, unburned)};
    for (int i = 0; i < 4; ++i)
        tests << makeRun("tester", "test-1", QString("2026-03-01T11:0%1:00Z").arg(i), RunOutcome::Fail, stubborn,
                         "SetConf");
    for (RunRecord &r : tests)
        QVERIFY(tester->write(r));
    RunRecord burn = makeRun("burner", "burn-1", "2026-03-01T09:00:00Z", RunOutcome::Pass, good);
    burn.imageSha256 = QString(64, u'e');
    burn.imageVersion = "2.1.0.7";
    QVERIFY(burner->write(burn));
    QTRY_COMPARE_WITH_TIMEOUT(cluster.runIds().size(), 7, 10000);

    QString out;
    QCOMPARE(inFolder(testerDir.path(), unitCommand, {"AA:BB:CC:00:00:01", "--json"}, &out), 0);
    QList<QJsonObject> lines = jsonLines(out);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0].value("station").toString(), QStringLiteral("burn-1"));
    QCOMPARE(lines[0].value("image_version").toString(), QStringLiteral("2.1.0.7"));
    QCOMPARE(lines[1].value("station").toString(), QStringLiteral("test-1"));
    QCOMPARE(lines[2].value("wrong_route").toBool(), false);

    out.clear();
    QCOMPARE(inFolder(testerDir.path(), unitCommand, {unburned}, &out), 0);
    QVERIFY2(out.contains("WRONG ROUTE: passed the tester at test-1 (2026-03-01T10:05:00"), qPrintable(out));
    out.clear();
    QCOMPARE(inFolder(testerDir.path(), unitCommand, {stubborn}, &out), 0);
    QVERIFY2(out.contains("WRONG ROUTE: failed 4 times at tester step SetConf"), qPrintable(out));
    out.clear();
    QCOMPARE(inFolder(testerDir.path(), unitCommand, {stubborn, "--max-retries", "4"}, &out), 0);
    QVERIFY2(out.contains("Route: as it should be"), qPrintable(out));

    out.clear();
    QCOMPARE(inFolder(testerDir.path(), unitCommand, {"aa:bb:cc:00:00:09"}, &out), kUnitUnknown);
    QVERIFY(out.contains("No run knows the band aa:bb:cc:00:00:09"));
    QCOMPARE(inFolder(testerDir.path(), unitCommand, {"aa:bb:cc:00:00"}, &out), 2);
    // With no server named: the station's own history, and said so. No burner here: no route fault.
    QVERIFY(QFile::remove(testerDir.filePath("station.ini")));
    writeStationIni(testerDir.path(), "test-1");
    out.clear();
    QCOMPARE(inFolder(testerDir.path(), unitCommand, {unburned}, &out), 0);
    QVERIFY2(out.contains("own history (results.db)") && out.contains("Route: as it should be"), qPrintable(out));
}

void TestLine::stationLoginKeepsToItsOwnRow()
{
    {
        QSqlDatabase admin = cluster.session("line-admin");
        QString error;
        QVERIFY2(initLineServer(admin, &error), qPrintable(error));
        for (const char *login : {"test-a", "test-b"})
            QSqlQuery(admin).exec(QString("CREATE ROLE \"%1\" LOGIN PASSWORD 'pw' IN ROLE band_station").arg(login));
    }
    QSqlDatabase::removeDatabase("line-admin");
    QUrl asA = cluster.url("pw");
    asA.setUserName("test-a");
    QTemporaryDir a, b;
    writeStationIni(a.path(), "test-a", asA);
    RecordStore storeA(a.path());
    storeA.setIdentity({"tester", "1.0", QString(64, u'a'), {}});
    QUrl asB = asA;
    asB.setUserName("test-b");
    writeStationIni(b.path(), "test-b", asB);
    RecordStore storeB(b.path());
    storeB.setIdentity({"tester", "1.0", QString(64, u'b'), {}});
    QTRY_VERIFY_WITH_TIMEOUT(!report("test-a", "tester").isEmpty() && !report("test-b", "tester").isEmpty(), 10000);

    // test-a's login sees, changes and adds no row of test-b's.
    const QString name = uniqueConnectionName("as-a");
    {
        QString error;
        QSqlDatabase db = openServerDatabase(name, asA, 5, &error);
        QVERIFY2(db.isOpen(), qPrintable(error));
        QSqlQuery q(db);
        QVERIFY(q.exec("UPDATE stations SET waiting = 99, def_sha256 = 'x' WHERE station = 'test-b'"));
        QCOMPARE(q.numRowsAffected(), 0);
        QVERIFY(!q.exec("INSERT INTO stations (station, program, version, host) VALUES ('test-b', 'burner', '1', 'h')"));
        QVERIFY(q.exec("SELECT station FROM stations") && q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("test-a"));
        QVERIFY(!q.next());
    }
    closeConnection(name);
    QCOMPARE(report("test-b", "tester").value("def_sha256").toString(), QString(64, u'b'));
    QCOMPARE(report("test-b", "tester").value("waiting").toInt(), 0);

    // Its `line` says that it sees only its own station.
    QString out;
    QCOMPARE(inFolder(a.path(), lineCommand, {}, &out), 0);
    QVERIFY2(out.contains("reads only its own station"), qPrintable(out));
    QVERIFY(!out.contains("test-b"));
}

QTEST_GUILESS_MAIN(TestLine)
#include "tst_line.moc"

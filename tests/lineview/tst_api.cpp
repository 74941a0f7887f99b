// The view's answers against real records: one station's results.db and the
// line's PostgreSQL. The numbers are worked out by hand from the runs the
// test writes; the live feed must bring every new run, a late commit too.
#include "connections.h"
#include "lineapi.h"
#include "pgcluster.h"
#include "recordstore.h"
#include "recordtesting.h"
#include "runfeed.h"
#include "schema.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString today(const QString &time)
{
    return QDateTime::currentDateTimeUtc().date().toString(Qt::ISODate) + u'T' + time + u'Z';
}

QJsonObject body(const ApiAnswer &a)
{
    return QJsonDocument::fromJson(a.body).object();
}

QJsonObject rowWhere(const QJsonArray &rows, const QString &key, const QString &value)
{
    for (const QJsonValue &v : rows)
        if (v.toObject().value(key).toString() == value)
            return v.toObject();
    return {};
}

RunRecord at(RunRecord r, const QString &usbPath, const QString &image = QString())
{
    r.usbPath = usbPath;
    r.imageVersion = image;
    return r;
}

} // namespace

class TestApi : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void stationFileAnswersEveryPage();
    void filtersAreCheckedAndBound();
    void lineServerCardsAndLateCommits();

private:
    void writeStationRuns(const QString &folder);
    PgCluster cluster;
    ViewOptions options;
};

void TestApi::initTestCase()
{
    // Shifts in local time: the test's clock is UTC.
    qputenv("TZ", "UTC");
    options.shiftStarts = {QTime(0, 0), QTime(12, 0)};
    QVERIFY2(cluster.create(), qPrintable(cluster.error()));
}

// Tester t1: unit 01 passes first; 02 fails SetConf then passes; 03 fails
// SetConf twice; a virtual band passes. Burner b1 burns 01 with image 2.0.
void TestApi::writeStationRuns(const QString &folder)
{
    RecordStore store(folder, 0);
    QList<RunRecord> runs{
        at(makeRun("tester", "t1", today("00:10:00"), RunOutcome::Pass, "00:00:00:00:00:01"), "1-1"),
        at(makeRun("tester", "t1", today("00:20:00"), RunOutcome::Fail, "00:00:00:00:00:02", "SetConf"), "1-2"),
        at(makeRun("tester", "t1", today("01:30:00"), RunOutcome::Pass, "00:00:00:00:00:02"), "1-2"),
        at(makeRun("tester", "t1", today("01:40:00"), RunOutcome::Fail, "00:00:00:00:00:03", "SetConf"), "1-2"),
        at(makeRun("tester", "t1", today("01:50:00"), RunOutcome::Fail, "00:00:00:00:00:03", "SetConf"), "1-2"),
        at(makeRun("burner", "b1", today("00:05:00"), RunOutcome::Pass, "00:00:00:00:00:01"), "2-1", "2.0"),
    };
    RunRecord simulated = makeRun("tester", "t1", today("00:30:00"), RunOutcome::Pass, "00:00:00:00:00:09");
    simulated.simulated = true;
    runs << simulated;
    for (RunRecord &r : runs)
        QVERIFY(store.write(r));
}

void TestApi::stationFileAnswersEveryPage()
{
    QTemporaryDir dir;
    writeStationRuns(dir.path());
    RecordSource source;
    QString error;
    QVERIFY2(source.setLocation(dir.filePath("results.db"), &error), qPrintable(error));
    LineApi api(source, options);
    api.now = [] { return QDateTime::fromString(today("02:00:00"), Qt::ISODate); };

    const QJsonObject cards = body(api.stations({}));
    QCOMPARE(cards.value("source").toString(), QString("station"));
    QCOMPARE(cards.value("shift").toObject().value("from").toString(), today("00:00:00.000"));
    const QJsonObject t1 = rowWhere(cards.value("stations").toArray(), "station", "t1");
    QVERIFY(t1.value("online").isNull());
    QCOMPARE(t1.value("day").toObject().value("units").toInt(), 3);
    QCOMPARE(t1.value("day").toObject().value("first_pass").toInt(), 1);
    QCOMPARE(t1.value("runs_last_hour").toInt(), 3); // from 01:00, the virtual band left out
    QCOMPARE(t1.value("last").toObject().value("failed_step").toString(), QString("SetConf"));

    // First pass 1 of 3; finally 01 and 02 passed. Rolled: the burn's 1 x the test's 1/3.
    const QJsonObject days = body(api.yield({}));
    const QJsonObject tester = rowWhere(days.value("rows").toArray(), "station", "t1");
    QCOMPARE(tester.value("final_pass").toInt(), 2);
    QCOMPARE(tester.value("first_pass_yield").toDouble(), 1.0 / 3.0);
    QCOMPARE(days.value("rty").toArray().first().toObject().value("rolled_yield").toDouble(), 1.0 / 3.0);
    // By hour: 01 and 02 were first tried in hour 00, 03 in hour 01.
    const QJsonArray hours = body(api.yield({{"by", "hour"}, {"station", "t1"}})).value("rows").toArray();
    QCOMPARE(hours.size(), 2);
    QCOMPARE(hours[0].toObject().value("units").toInt(), 2);
    QCOMPARE(hours[1].toObject().value("final_pass").toInt(), 0);

    const QJsonArray pareto = body(api.pareto({})).value("programs").toArray();
    QCOMPARE(pareto.size(), 1);
    QCOMPARE(pareto[0].toObject().value("steps").toArray()[0].toObject().value("failures").toInt(), 3);

    const QJsonArray places = body(api.locations({{"station", "t1"}})).value("rows").toArray();
    QCOMPARE(rowWhere(places, "usb_path", "1-1").value("first_pass_yield").toDouble(), 1.0);
    QCOMPARE(rowWhere(places, "usb_path", "1-2").value("first_pass_yield").toDouble(), 0.0);

    // Newest first; after a seq, oldest first; the virtual band only when asked.
    const QJsonArray newest = body(api.runs({{"limit", "2"}})).value("runs").toArray();
    QCOMPARE(newest.size(), 2);
    const qint64 newestSeq = newest[0].toObject().value("seq").toInteger();
    QVERIFY(newestSeq > newest[1].toObject().value("seq").toInteger());
    QCOMPARE(body(api.runs({{"after", "0"}})).value("runs").toArray().size(), 6);
    QCOMPARE(body(api.runs({{"after", "0"}, {"simulated", "1"}})).value("runs").toArray().size(), 7);
    QCOMPARE(body(api.runs({{"before", QString::number(newestSeq)}, {"limit", "1"}})).value("runs").toArray()[0],
             newest[1]);
    const QStringList csv = QString::fromUtf8(api.runsCsv({{"image", "2.0"}}).body).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(csv.size(), 2);

    // A band's route: burned, then tested; 03 failed twice at one step.
    QCOMPARE(body(api.unit({{"address", "00:00:00:00:00:01"}})).value("runs").toArray().size(), 2);
    QCOMPARE(body(api.unit({{"address", "00:00:00:00:00:01"}})).value("flags").toArray().size(), 0);
    QCOMPARE(body(api.unit({{"address", "00:00:00:00:00:03"}, {"max_retries", "1"}})).value("flags").toArray().size(), 1);

    // A station writing while the feed watches: its run arrives, once.
    RunFeed feed(api, source);
    QVERIFY2(feed.start(&error), qPrintable(error));
    quint64 position = feed.position();
    {
        RecordStore store(dir.path(), 0);
        RunRecord r = makeRun("tester", "t1", today("01:59:00"), RunOutcome::Pass, "00:00:00:00:00:04");
        QVERIFY(store.write(r));
    }
    QElapsedTimer waited;
    waited.start();
    QList<FeedEvent> events;
    while (events.isEmpty() && waited.elapsed() < 10000)
        events = feed.waitForEvents(&position, std::chrono::milliseconds(500));
    QCOMPARE(events.size(), 1);
    QCOMPARE(events[0].run.value("unit").toString(), QString("00:00:00:00:00:04"));
    QVERIFY(feed.waitForEvents(&position, std::chrono::milliseconds(1500)).isEmpty());
}

void TestApi::filtersAreCheckedAndBound()
{
    QTemporaryDir dir;
    writeStationRuns(dir.path());
    RecordSource source;
    QString error;
    QVERIFY(source.setLocation(dir.path(), &error));
    QVERIFY(!source.setLocation(dir.filePath("elsewhere.db"), &error));
    LineApi api(source, options);

    for (const QueryParameters &bad : QList<QueryParameters>{
             {{"from", "yesterday"}}, {{"to", "2026-13-01"}}, {{"simulated", "yes"}}, {{"station", QString(300, 'x')}},
             {{"limit", "0"}}, {{"limit", "1001"}}, {{"after", "-1"}}, {{"after", "1e3"}}})
        QCOMPARE(api.runs(bad).status, 400);
    QCOMPARE(api.yield({{"by", "week"}}).status, 400);
    QCOMPARE(api.unit({{"address", "00:00:00:00:00"}}).status, 400);
    QCOMPARE(api.unit({{"address", "00:00:00:00:00:01' OR '1'='1"}}).status, 400);

    // Quotes and statements in every filter are values, never SQL.
    const QString hostile = "t1' OR '1'='1'; DROP TABLE runs; --";
    for (const char *name : {"station", "program", "image"}) {
        const QueryParameters p{{name, hostile}};
        const struct {
            ApiAnswer answer;
            const char *list;
        } answers[] = {{api.runs(p), "runs"}, {api.stations(p), "stations"}, {api.yield(p), "rows"},
                       {api.pareto(p), "programs"}, {api.locations(p), "rows"}};
        for (const auto &a : answers) {
            QVERIFY2(a.answer.status == 200, a.answer.body.constData());
            QCOMPARE(body(a.answer).value(a.list).toArray().size(), 0);
        }
    }
    QCOMPARE(localRunCount(dir.path()), 7);
}

void TestApi::lineServerCardsAndLateCommits()
{
    QTemporaryDir dir;
    writeStationIni(dir.path(), "t1", cluster.url());
    {
        auto store = std::make_unique<RecordStore>(dir.path(), 500);
        store->setIdentity({"tester", "1.0", QString(64, 'a'), {}});
        RunRecord r = makeRun("tester", "t1", today("00:10:00"), RunOutcome::Pass, "00:00:00:00:00:01");
        QVERIFY(store->write(r));
        QTRY_COMPARE_WITH_TIMEOUT(cluster.runIds("t1").size(), 1, 10000);
        endWithinBound(std::move(store));
    }
    RecordSource source;
    QString error;
    QVERIFY(source.setLocation(cluster.url().toString(), &error));
    LineApi api(source, options);
    const QJsonObject cards = body(api.stations({}));
    QCOMPARE(cards.value("source").toString(), QString("line"));
    const QJsonObject t1 = rowWhere(cards.value("stations").toArray(), "station", "t1");
    QCOMPARE(t1.value("online").toBool(), true);
    QCOMPARE(t1.value("waiting").toInt(), 0);
    QCOMPARE(t1.value("def_sha256").toString(), QString(64, 'a'));

    // A run whose transaction took its seq first but commits last still reaches the feed.
    RunFeed feed(api, source);
    QVERIFY2(feed.start(&error), qPrintable(error));
    quint64 position = feed.position();
    QSqlDatabase slow = cluster.session("slow"), quick = cluster.session("quick");
    QVERIFY(slow.transaction());
    // Two stations, as on a line: one station's runs never overlap.
    for (auto [db, unit] : {std::pair{&slow, "00:00:00:00:00:0a"}, std::pair{&quick, "00:00:00:00:00:0b"}}) {
        QSqlQuery q(*db);
        prepareRunInsert(q, "runs", makeRun("tester", db == &slow ? "t2" : "t3", today("00:20:00"), RunOutcome::Pass, unit));
        QVERIFY(q.exec());
    }
    QStringList units;
    QElapsedTimer waited;
    waited.start();
    bool committed = false;
    while (units.size() < 2 && waited.elapsed() < 10000) {
        for (const FeedEvent &e : feed.waitForEvents(&position, std::chrono::milliseconds(300)))
            units << e.run.value("unit").toString();
        if (!units.isEmpty() && !committed)
            committed = slow.commit();
    }
    QCOMPARE(units, (QStringList{"00:00:00:00:00:0b", "00:00:00:00:00:0a"}));
    slow = quick = QSqlDatabase();
    QSqlDatabase::removeDatabase("slow");
    QSqlDatabase::removeDatabase("quick");
}

QTEST_GUILESS_MAIN(TestApi)
#include "tst_api.moc"

// records and yield on a known set of runs in a station file.
#include "recordcommands.h"
#include "recordstore.h"
#include "recordtesting.h"

#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

class TestQueries : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void listing_data();
    void listing();
    void yieldPerStationAndDay();
    void yieldOfPartOfADay();
    void simulatedRuns();
    void badArguments();

private:
    int command(RecordCommand run, const QStringList &args,
                QString *out, QString *err = nullptr);

    QTemporaryDir dir;
    QString here;
};

void TestQueries::initTestCase()
{
    writeStationIni(dir.path(), "A");
    RecordStore store(dir.path());
    struct Run {
        const char *station, *program, *start;
        RunOutcome outcome;
        const char *unit, *step;
        bool simulated = false;
    };
    const Run runs[] = {
        {"A", "tester", "2026-12-07T08:00:00", RunOutcome::Fail, "u1", "7.读取参数"},
        {"A", "tester", "2026-12-07T08:05:00", RunOutcome::Pass, "u1", ""},
        {"A", "tester", "2026-12-07T09:00:00", RunOutcome::Pass, "u2", ""},
        {"A", "tester", "2026-12-07T09:30:00", RunOutcome::Fail, "", "[打开串口]"},
        {"A", "burner", "2026-12-07T10:00:00", RunOutcome::Pass, "b1", ""},
        {"A", "tester", "2026-12-08T00:10:00", RunOutcome::Pass, "u1", ""},
        {"B", "tester", "2026-12-07T11:00:00", RunOutcome::Interrupted, "u3", ""},
        {"B", "tester", "2026-12-07T11:05:00", RunOutcome::Pass, "u3", ""},
        {"B", "tester", "2026-12-07T12:00:00", RunOutcome::Fail, "u4", "3.读取时间"},
        {"B", "tester", "2026-12-07T13:00:00", RunOutcome::Fail, "u5", "7.读取参数"},
        {"A", "tester", "2026-12-07T10:30:00", RunOutcome::Pass, "u2", ""},
        {"A", "tester", "2026-12-07T14:00:00", RunOutcome::Fail, "5a:1b:00:01", "3.读取时间", true},
        {"A", "tester", "2026-12-07T14:01:00", RunOutcome::Pass, "5a:1b:00:02", "", true},
        // A burner's unit is the address the band came back with: burned again, one unit;
        // a band that did not come back is a unit of its own.
        {"A", "burner", "2026-12-07T10:20:00", RunOutcome::Pass, "b1", ""},
        {"A", "burner", "2026-12-07T10:40:00", RunOutcome::Fail, "", "CNB"},
    };
    int n = 0;
    for (const Run &run : runs) {
        RunRecord r = makeRun(run.program, run.station, run.start, run.outcome, run.unit, run.step);
        r.id = QUuid(QStringLiteral("00000000-0000-0000-0000-0000000000%1").arg(++n, 2, 10, QLatin1Char('0')));
        r.operatorLogin = QStringLiteral("op");
        r.simulated = run.simulated;
        if (n == 1)
            r.details.insert(QStringLiteral("settings_read"), QStringLiteral("a,\"b\""));
        QVERIFY(store.write(r));
    }
    here = QDir::currentPath();
    QDir::setCurrent(dir.path());
}

void TestQueries::cleanupTestCase()
{
    QDir::setCurrent(here);
}

int TestQueries::command(RecordCommand run, const QStringList &args,
                         QString *out, QString *err)
{
    QString errText;
    QTextStream outStream(out), errStream(&errText);
    const int status = run(args, outStream, errStream, {});
    outStream.flush();
    errStream.flush();
    if (err)
        *err = errText;
    return status;
}

void TestQueries::listing_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("expected");
    QTest::newRow("table, one station")
        << QStringList{"--station", "B"}
        << QStringLiteral(
               "started_at                station  program  outcome      failed_step  duration_ms  unit  operator  id                                    marks\n"
               "2026-12-07T11:00:00.000Z  B        tester   interrupted               2000         u3    op        00000000-0000-0000-0000-000000000007\n"
               "2026-12-07T11:05:00.000Z  B        tester   pass                      2000         u3    op        00000000-0000-0000-0000-000000000008\n"
               "2026-12-07T12:00:00.000Z  B        tester   fail         3.读取时间       2000         u4    op        00000000-0000-0000-0000-000000000009\n"
               "2026-12-07T13:00:00.000Z  B        tester   fail         7.读取参数       2000         u5    op        00000000-0000-0000-0000-000000000010\n"
               "4 run(s)\n");
    QTest::newRow("csv quotes what needs it")
        << QStringList{"--csv", "--until", "2026-12-07T08:00:01Z"}
        << QStringLiteral(
               "started_at,station,program,outcome,failed_step,duration_ms,unit,operator,id,ended_at,failed_row,first_try,details,simulated,usb_path,waiting,def_sha256,image_sha256,image_version\n"
               "2026-12-07T08:00:00.000Z,A,tester,fail,7.读取参数,2000,u1,op,00000000-0000-0000-0000-000000000001,"
               "2026-12-07T08:00:02.000Z,7,1,\"{\"\"settings_read\"\":\"\"a,\\\"\"b\\\"\"\"\"}\",0,,0,,,\n");
    QTest::newRow("json, filters together")
        << QStringList{"--json", "--since", "2026-12-07", "--until", "2026-12-07T09:30", "--program", "tester",
                       "--outcome", "pass", "--station", "A"}
        << QStringLiteral(
               "{\"day\":\"2026-12-07\",\"def_sha256\":null,\"details\":{},\"duration_ms\":2000,\"ended_at\":\"2026-12-07T08:05:02.000Z\","
               "\"failed_row\":null,\"failed_step\":null,\"first_try\":false,\"id\":\"00000000-0000-0000-0000-000000000002\","
               "\"image_sha256\":null,\"image_version\":null,"
               "\"operator\":\"op\",\"outcome\":\"pass\",\"program\":\"tester\",\"simulated\":false,"
               "\"started_at\":\"2026-12-07T08:05:00.000Z\",\"station\":\"A\",\"unit\":\"u1\",\"usb_path\":null,\"waiting\":false}\n"
               "{\"day\":\"2026-12-07\",\"def_sha256\":null,\"details\":{},\"duration_ms\":2000,\"ended_at\":\"2026-12-07T09:00:02.000Z\","
               "\"failed_row\":null,\"failed_step\":null,\"first_try\":true,\"id\":\"00000000-0000-0000-0000-000000000003\","
               "\"image_sha256\":null,\"image_version\":null,"
               "\"operator\":\"op\",\"outcome\":\"pass\",\"program\":\"tester\",\"simulated\":false,"
               "\"started_at\":\"2026-12-07T09:00:00.000Z\",\"station\":\"A\",\"unit\":\"u2\",\"usb_path\":null,\"waiting\":false}\n");
}

void TestQueries::listing()
{
    QFETCH(QStringList, args);
    QFETCH(QString, expected);
    QString out;
    QCOMPARE(command(recordsCommand, args, &out), 0);
    QCOMPARE(out, expected);
}

void TestQueries::yieldPerStationAndDay()
{
    QString out;
    QCOMPARE(command(yieldCommand, {}, &out), 0);
    QCOMPARE(out, QStringLiteral(
                      "day         station  program  runs  pass  fail  interrupted  units  first-pass  FPY\n"
                      "2026-12-07  A        burner   3     2     1     0            2      1           50.0%\n"
                      "2026-12-07  A        tester   5     3     2     0            3      1           33.3%\n"
                      "2026-12-07  B        tester   4     1     2     1            3      0           0.0%\n"
                      "2026-12-08  A        tester   1     1     0     0            1      1           100.0%\n"
                      "\n"
                      "Most frequent failing steps:\n"
                      "count  program  step\n"
                      "2      tester   7.读取参数\n"
                      "1      burner   CNB\n"
                      "1      tester   3.读取时间\n"
                      "1      tester   [打开串口]\n"));
}

void TestQueries::yieldOfPartOfADay()
{
    // A band first seen before the range is one unit, judged by its first run that day.
    QString out;
    QCOMPARE(command(yieldCommand, {"--json", "--since", "2026-12-07T10:00", "--until", "2026-12-07", "--station", "A",
                                    "--program", "tester"}, &out), 0);
    QCOMPARE(out, QStringLiteral("{\"day\":\"2026-12-07\",\"fail\":0,\"first_pass\":1,\"first_pass_yield\":1,"
                                 "\"interrupted\":0,\"kind\":\"yield\",\"pass\":1,\"program\":\"tester\",\"runs\":1,\"station\":\"A\","
                                 "\"units\":1}\n"));
}

void TestQueries::simulatedRuns()
{
    QString out;
    QCOMPARE(command(yieldCommand, {"--json", "--include-simulated", "--station", "A", "--program", "tester",
                                    "--until", "2026-12-07"}, &out), 0);
    QVERIFY2(out.startsWith("{\"day\":\"2026-12-07\",\"fail\":3,\"first_pass\":2,\"first_pass_yield\":0.4,"
                            "\"interrupted\":0,\"kind\":\"yield\",\"pass\":4,\"program\":\"tester\",\"runs\":7,\"station\":\"A\","
                            "\"units\":5}\n"), qPrintable(out));
    out.clear();
    QCOMPARE(command(recordsCommand, {"--since", "2026-12-07T13:59"}, &out), 0);
    const QStringList lines = out.split('\n');
    QVERIFY2(lines[1].endsWith("SIMULATED") && lines[2].endsWith("SIMULATED"), qPrintable(out));
    out.clear();
    QCOMPARE(command(recordsCommand, {"--json", "--since", "2026-12-07T14:01"}, &out), 0);
    QVERIFY2(out.contains("\"simulated\":true"), qPrintable(out));
}

void TestQueries::badArguments()
{
    QString out, err;
    QCOMPARE(command(recordsCommand, {"--since", "yesterday"}, &out, &err), 2);
    QVERIFY(err.contains("--since wants yyyy-MM-dd"));
    QCOMPARE(command(yieldCommand, {"--outcome", "ok"}, &out, &err), 2);
    QVERIFY(err.contains("--outcome is pass, fail or interrupted"));
    QCOMPARE(command(recordsCommand, {"--frobnicate"}, &out, &err), 2);
    QVERIFY(err.contains("frobnicate"));
}

QTEST_GUILESS_MAIN(TestQueries)
#include "tst_queries.moc"

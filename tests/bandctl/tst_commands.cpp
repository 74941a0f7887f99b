// bandctl's band commands end to end: the built program against a virtual
// band on a pseudo-terminal (and its own --simulate), read as a script would.
#include "bandctlrunner.h"

#include <bandsim/virtualband.h>

#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <memory>
#include <tuple>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

std::unique_ptr<bandsim::VirtualBand> pluggedBand()
{
    auto band = std::make_unique<bandsim::VirtualBand>();
    if (!band->plugIn())
        return nullptr;
    return band;
}

QStringList on(const bandsim::VirtualBand &band)
{
    return {QStringLiteral("--device"), QString::fromStdString(band.devicePath())};
}

int lastCommandItem(const bandsim::VirtualBand &band)
{
    const auto commands = band.commandsReceived();
    return commands.empty() ? -1 : commands.back().at(2);
}

} // namespace

class TestCommands : public QObject {
    Q_OBJECT

private slots:
    void readsEveryItemAsTextAndJson()
    {
        auto band = pluggedBand();
        QVERIFY(band);
        BandctlRun info = runBandctl(QStringList{"info"} + on(*band));
        QCOMPARE(info.exitCode, 0);
        QVERIFY(info.out.contains("1.2.3.4"));
        const sb_version_t version = band->version(); // each virtual band has its own address
        QVERIFY(info.out.contains(QString::asprintf("%02x:%02x:%02x:%02x:%02x:%02x", version.bdaddr[0],
                                                       version.bdaddr[1], version.bdaddr[2], version.bdaddr[3],
                                                       version.bdaddr[4], version.bdaddr[5]).toLatin1()));
        QVERIFY(info.out.contains("weight:"));

        // Options before or after the subcommand mean the same.
        const BandctlRun before = runBandctl(QStringList{"--json"} + on(*band) + QStringList{"get", "conf"});
        const BandctlRun after = runBandctl(QStringList{"get", "conf", "--json"} + on(*band));
        QCOMPARE(before.exitCode, 0);
        QCOMPARE(before.json(), after.json());
        const QJsonObject conf = before.json().value(0);
        QCOMPARE(conf.value("item").toString(), QStringLiteral("conf"));
        QCOMPARE(conf.value("weight").toInt(), 60);
        QCOMPARE(conf.value("sex").toString(), QStringLiteral("male"));

        const QRegularExpression realDate(QStringLiteral("^20\\d\\d-(0[1-9]|1[0-2])-(0[1-9]|[12]\\d|3[01])"));
        for (const char *item : {"version", "time", "led", "alarm", "stat", "daydata", "daystat"}) {
            const BandctlRun run = runBandctl(QStringList{"--json", "get", item} + on(*band));
            QCOMPARE(run.exitCode, 0);
            const QList<QJsonObject> results = run.json();
            QCOMPARE(results.size(), qstrcmp(item, "daystat") == 0 ? 7 : 1);
            for (const QJsonObject &result : results) {
                QCOMPARE(result.value("item").toString(), QString::fromLatin1(item));
                for (const char *field : {"date", "time"}) {
                    if (result.contains(field) && qstrcmp(item, "stat") != 0)
                        QVERIFY2(realDate.match(result.value(field).toString()).hasMatch(), item);
                }
            }
        }
        const BandctlRun day = runBandctl(QStringList{"--json", "get", "daystat", "6"} + on(*band));
        QCOMPARE(day.json().value(0).value("day").toInt(), 6);
        QCOMPARE(day.json().value(0).value("valid").toBool(), true);
    }

    void traceNeverMixesWithJson()
    {
        auto band = pluggedBand();
        QVERIFY(band);
        const BandctlRun quiet = runBandctl(QStringList{"--json", "get", "version"} + on(*band));
        QCOMPARE(quiet.err, QByteArray());
        QCOMPARE(quiet.json().size(), 1);

        const BandctlRun traced = runBandctl(QStringList{"--json", "--trace", "get", "version"} + on(*band));
        QCOMPARE(traced.exitCode, 0);
        QCOMPARE(traced.json().size(), 1);
        QCOMPARE(traced.json().value(0).value("version").toString(), QStringLiteral("1.2.3.4"));
        QVERIFY(!traced.out.contains("[PC]"));
        QVERIFY(traced.err.contains("[PC]  ---->  [USB]"));
        QVERIFY(traced.err.contains("\t<Version:01:02:03:04>"));

        QTemporaryDir dir;
        const QString file = dir.filePath("trace.txt");
        const BandctlRun toFile = runBandctl(QStringList{"get", "time", "--json", "--trace", file} + on(*band));
        QCOMPARE(toFile.exitCode, 0);
        QCOMPARE(toFile.json().size(), 1);
        QFile trace(file);
        QVERIFY(trace.open(QIODevice::ReadOnly));
        QVERIFY(trace.readAll().contains("( pedometer time )"));
    }

    void setWritesWhatItSays()
    {
        auto band = pluggedBand();
        QVERIFY(band);
        QCOMPARE(runBandctl(QStringList{"set", "conf", "weight=70", "sex=female"} + on(*band)).exitCode, 0);
        QCOMPARE(band->conf().weight, 70);
        QCOMPARE(band->conf().sex, 1);
        QCOMPARE(band->conf().height, 170); // not named: kept
        QCOMPARE(runBandctl(QStringList{"set", "led", "led1=on"} + on(*band)).exitCode, 0);
        QCOMPARE(band->led().enabled[1], 1);
        QCOMPARE(band->led().enabled[0], 0);

        const BandctlRun alarm = runBandctl(QStringList{"--json", "set", "alarm", "2", "hour=6", "minute=45", "mode=0x81"} + on(*band));
        QCOMPARE(alarm.exitCode, 0);
        const QJsonObject entry = alarm.json().value(0).value("alarms").toArray().at(2).toObject();
        QCOMPARE(entry.value("hour").toInt(), 6);
        QCOMPARE(entry.value("minute").toInt(), 45);
        QCOMPARE(entry.value("mode").toInt(), 0x81);

        QCOMPARE(runBandctl(QStringList{"set", "time", "2024-02-29", "23:59:58"} + on(*band)).exitCode, 0);
        QCOMPARE(band->clock().year, 24);
        QCOMPARE(band->clock().month, 1);
        QCOMPARE(band->clock().day, 28);

        QCOMPARE(runBandctl(QStringList{"set", "time"} + on(*band)).exitCode, 0);
        const QDateTime now = QDateTime::currentDateTime();
        const sb_time_t clock = band->clock();
        const QDateTime banded(QDate(2000 + clock.year, clock.month + 1, clock.day + 1),
                               QTime(clock.hour, clock.minute, clock.second));
        QVERIFY(qAbs(banded.secsTo(now)) <= 3);
    }

    // A band that accepts a write and keeps something else is caught by the read-back.
    void setReadsBackWhatTheBandKept()
    {
        auto band = pluggedBand();
        QVERIFY(band);
        band->setFault(SB_ITEM_CONF, bandsim::Fault::StoresDifferentValue);
        const BandctlRun conf = runBandctl(QStringList{"set", "conf", "weight=70", "goal=9000"} + on(*band));
        QCOMPARE(conf.exitCode, 1);
        QVERIFY2(conf.err.contains("weight (sent 70, stored 71)"), conf.err.constData());
        QVERIFY(!conf.err.contains("goal"));
        QCOMPARE(conf.out, QByteArray()); // nothing shown as set

        band->clearFaults();
        band->setFault(SB_ITEM_ALARM, bandsim::Fault::StoresDifferentValue); // entry 0's mode goes up by one
        const BandctlRun alarm = runBandctl(QStringList{"--json", "set", "alarm", "2", "hour=6"} + on(*band));
        QCOMPARE(alarm.exitCode, 1);
        QCOMPARE(alarm.json().size(), 1);
        const QJsonObject failure = alarm.json().value(0);
        QCOMPARE(failure.value("exit_code").toInt(), 1);
        QCOMPARE(failure.value("item").toString(), QStringLiteral("alarm"));
        const QJsonArray differences = failure.value("differences").toArray();
        QCOMPARE(differences.size(), 1);
        QCOMPARE(differences.at(0).toObject().value("field").toString(), QStringLiteral("alarms[0].mode"));
        QCOMPARE(differences.at(0).toObject().value("stored").toInt(),
                 differences.at(0).toObject().value("sent").toInt() + 1);

        // A later field, with the first ones kept: a compare of the first field alone passes it.
        band->clearFaults();
        band->setFault(SB_ITEM_CONF, bandsim::Fault::StoresDifferentLastField);
        const BandctlRun goal = runBandctl(QStringList{"set", "conf", "weight=70", "goal=9000"} + on(*band));
        QCOMPARE(goal.exitCode, 1);
        QVERIFY2(goal.err.contains("the band stored other values than were written: goal (sent 9000, stored 9256)\n"),
                 goal.err.constData());
        band->clearFaults();
        band->setFault(SB_ITEM_ALARM, bandsim::Fault::StoresDifferentLastField); // entry 7's hour
        const BandctlRun lastAlarm = runBandctl(QStringList{"--json", "set", "alarm", "2", "hour=6"} + on(*band));
        QCOMPARE(lastAlarm.exitCode, 1);
        const QJsonArray lastDifferences = lastAlarm.json().value(0).value("differences").toArray();
        QCOMPARE(lastDifferences.size(), 1);
        QCOMPARE(lastDifferences.at(0).toObject().value("field").toString(), QStringLiteral("alarms[7].hour"));

        // The clock runs on by itself: one second on is still the clock that was set.
        band->clearFaults();
        band->setFault(SB_ITEM_TIME, bandsim::Fault::StoresDifferentValue);
        QCOMPARE(runBandctl(QStringList{"set", "time", "2026-01-01", "10:00:00"} + on(*band)).exitCode, 0);
    }

    void badValuesNeverReachTheBand_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("says"); // what the message must name
        QTest::newRow("weight too big") << QStringList{"set", "conf", "weight=256"} << QByteArray("weight");
        QTest::newRow("negative") << QStringList{"set", "conf", "age=-1"} << QByteArray("age");
        QTest::newRow("not a number") << QStringList{"set", "conf", "height=abc"} << QByteArray("height");
        QTest::newRow("goal too big") << QStringList{"set", "conf", "goal=65536"} << QByteArray("goal");
        QTest::newRow("sex") << QStringList{"set", "conf", "sex=other"} << QByteArray("sex");
        QTest::newRow("unknown field") << QStringList{"set", "conf", "shoe=42"} << QByteArray("shoe=42");
        QTest::newRow("field twice") << QStringList{"set", "conf", "weight=50", "weight=60"} << QByteArray("weight given twice");
        QTest::newRow("good then bad") << QStringList{"set", "conf", "weight=50", "goal=x"} << QByteArray("goal");
        QTest::newRow("led word") << QStringList{"set", "led", "led0=maybe"} << QByteArray("led0");
        QTest::newRow("alarm entry") << QStringList{"set", "alarm", "8", "hour=1"} << QByteArray("ENTRY");
        QTest::newRow("alarm hour") << QStringList{"set", "alarm", "1", "hour=24"} << QByteArray("hour");
        QTest::newRow("alarm minute") << QStringList{"set", "alarm", "1", "minute=60"} << QByteArray("minute");
        QTest::newRow("month 13") << QStringList{"set", "time", "2026-13-01", "00:00:00"} << QByteArray("2026-13-01");
        QTest::newRow("30 February") << QStringList{"set", "time", "2026-02-30", "10:00:00"} << QByteArray("2026-02-30");
        QTest::newRow("before 2000") << QStringList{"set", "time", "1999-12-31", "23:59:59"} << QByteArray("1999-12-31");
        QTest::newRow("read-only item") << QStringList{"set", "version", "1"} << QByteArray("version");
        QTest::newRow("unknown item") << QStringList{"get", "weather"} << QByteArray("weather");
        QTest::newRow("day 7") << QStringList{"get", "daystat", "7"} << QByteArray("DAY");
        QTest::newRow("day -1") << QStringList{"get", "daystat", "-1"} << QByteArray("DAY");
        QTest::newRow("unknown option") << QStringList{"get", "time", "--colour"} << QByteArray("--colour");
        QTest::newRow("unknown subcommand") << QStringList{"explode"} << QByteArray("explode");
        QTest::newRow("two ways to a band") << QStringList{"info", "--simulate"} << QByteArray("one way only");
        QTest::newRow("17 simulated bands") << QStringList{"list", "--simulate", "17"} << QByteArray("from 1 to 16");
        QTest::newRow("device and location") << QStringList{"info", "--usb-path", "1-1.4.2"} << QByteArray("one way only");
        QTest::newRow("watch what") << QStringList{"watch", "everything"} << QByteArray("minstat or upload");
        // An option without its value never takes the next option as one.
        QTest::newRow("device lacks its path") << QStringList{"info", "--device", "--json"} << QByteArray("--device needs a value");
        QTest::newRow("count lacks its number") << QStringList{"watch", "upload", "--count", "--timeout", "5"} << QByteArray("--count needs a value");
        QTest::newRow("filter lacks its value") << QStringList{"records", "--station", "--local"} << QByteArray("--station needs a value");
        // A count that is no count, a help for no subcommand, a filter value nobody stores.
        QTest::newRow("simulate -1") << QStringList{"--simulate", "-1", "info"} << QByteArray("from 1 to 16, not \"-1\"");
        QTest::newRow("simulate abc") << QStringList{"--simulate", "abc", "info"} << QByteArray("not \"abc\"");
        QTest::newRow("simulate -1 after info") << QStringList{"info", "--simulate", "-1"} << QByteArray("not \"-1\"");
        QTest::newRow("help of no subcommand") << QStringList{"frobnicate", "--help"} << QByteArray("unknown subcommand \"frobnicate\"");
        QTest::newRow("program foo") << QStringList{"records", "--program", "foo"} << QByteArray("tester or burner, not foo");
        // Only the forms the help lists; a loose one is never guessed at.
        QTest::newRow("weight in hex") << QStringList{"set", "conf", "weight=0x3e"} << QByteArray("weight");
        QTest::newRow("name in capitals") << QStringList{"set", "conf", "WEIGHT=60"} << QByteArray("WEIGHT=60");
        QTest::newRow("sex in capitals") << QStringList{"set", "conf", "sex=Male"} << QByteArray("sex");
        QTest::newRow("led in capitals") << QStringList{"set", "led", "led0=ON"} << QByteArray("led0");
        QTest::newRow("led as a digit") << QStringList{"set", "led", "led1=1"} << QByteArray("led1");
        QTest::newRow("T in a date") << QStringList{"set", "time", "2026-12-07T14:05:09"} << QByteArray("2026-12-07T14:05:09");
        QTest::newRow("short date") << QStringList{"set", "time", "2026-1-7", "14:05:09"} << QByteArray("2026-1-7");
        QTest::newRow("day in hex") << QStringList{"get", "daystat", "0x3"} << QByteArray("DAY");
    }

    void badValuesNeverReachTheBand()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, says);
        auto band = pluggedBand();
        QVERIFY(band);
        const BandctlRun run = runBandctl(arguments + on(*band));
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains(says), run.err.constData());
        QCOMPARE(run.err.count('\n'), run.err.contains("Try bandctl --help") ? 2 : 1);
        QVERIFY(run.err.startsWith("bandctl: "));
        QVERIFY(band->commandsReceived().empty());
    }

    // In the JSON form every failure is a JSON object, also one found before a subcommand runs.
    void usageErrorsAreJsonInTheJsonForm()
    {
        const QList<QStringList> lines = {{"--json", "explode"}, {"--json", "--port", "300", "info"},
                                          {"--json", "--colour", "info"}, {"--json"},
                                          {"--json", "--trace", "/no/such/folder/trace", "--simulate", "info"}};
        for (const QStringList &arguments : lines) {
            const BandctlRun run = runBandctl(arguments);
            QCOMPARE(run.exitCode, 2);
            QCOMPARE(run.json().size(), 1);
            QCOMPARE(run.json().value(0).value("exit_code").toInt(), 2);
            QVERIFY(!run.json().value(0).value("error").toString().isEmpty());
        }
    }

    // A full disk under the results or the trace is reported, never a success.
    void lostOutputIsNoSuccess()
    {
        for (const QStringList &form : {QStringList{}, QStringList{"--json"}}) {
            QProcess process;
            process.setStandardOutputFile(QStringLiteral("/dev/full"));
            startBandctl(&process, form + QStringList{"--simulate", "get", "time"});
            const BandctlRun run = finishBandctl(&process, 10000);
            QCOMPARE(run.exitCode, 1);
            QVERIFY(run.err.contains("the results could not be written"));
        }
        const BandctlRun traced = runBandctl({"--simulate", "--trace", "/dev/full", "get", "time"});
        QCOMPARE(traced.exitCode, 1);
        QVERIFY(traced.err.contains("the trace could not be written to /dev/full"));
    }

    // Each reason a path is no usable band gets its own message, and a test
    // or burn on it is refused before it runs: no run, no record.
    void devicesThatAreNoBand()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath("notes.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QString burner = QStringLiteral(BURNER_SOURCE_DIR);
        QVERIFY(QFile::copy(burner + "/def.xml", dir.filePath("burn.xml")));
        const QList<QStringList> commands = {
            {"info"}, {"test", "--def", TESTER_DEF_XML}, {"test", "--all", "--def", TESTER_DEF_XML},
            {"burn", "--def", dir.filePath("burn.xml"), "--bin", burner + "/bin"},
            {"burn", "--all", "--def", dir.filePath("burn.xml"), "--bin", burner + "/bin"}};
        const QList<std::tuple<QString, int, QByteArray>> paths = {
            {"/dev/null", 2, "/dev/null is not a serial device"},
            {"/dev/zero", 2, "/dev/zero is not a serial device"},
            {dir.path(), 2, "is a folder, not a serial device"},
            {file.fileName(), 2, "is a regular file, not a serial device"},
            {dir.filePath("no-such-port"), 3, "no-such-port does not exist"}};
        for (const QStringList &command : commands) {
            for (const auto &[path, code, says] : paths) {
                const BandctlRun run = runBandctl(command + QStringList{"--device", path}, 30000, dir.path());
                QCOMPARE(run.exitCode, code);
                QVERIFY2(run.err.contains(says), run.err.constData());
                QCOMPARE(run.out, QByteArray());
            }
        }
        QVERIFY(!QFile::exists(dir.filePath("results.db")));
        QVERIFY(!QDir(dir.filePath("results-spool")).exists());

        // A port another program holds.
        auto band = pluggedBand();
        QVERIFY(band);
        const int holder = ::open(band->devicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        QVERIFY(holder >= 0);
        QCOMPARE(::flock(holder, LOCK_EX | LOCK_NB), 0);
        const BandctlRun busy = runBandctl(QStringList{"info"} + on(*band));
        QCOMPARE(busy.exitCode, 1);
        QVERIFY2(busy.err.contains("is in use by another program"), busy.err.constData());
        const BandctlRun test = runBandctl(QStringList{"--json", "test", "--def", TESTER_DEF_XML} + on(*band), 30000,
                                           dir.path());
        QCOMPARE(test.exitCode, 1);
        QCOMPARE(test.json().value(0).value("failed_step").toString(), QStringLiteral("open port"));
        QVERIFY(test.json().value(0).value("error").toString().contains("in use by another program"));
        ::close(holder);
        QVERIFY(band->commandsReceived().empty());
    }

    // --simulate N beside the subcommand's own numbers, and --usb-path among the virtual hub's bands.
    void simulatedBandsChosenByCountAndPlace()
    {
        const BandctlRun day = runBandctl({"get", "daystat", "--simulate", "3", "--json"});
        QCOMPARE(day.exitCode, 0);
        QCOMPARE(day.json().size(), 1);
        QCOMPARE(day.json().value(0).value("day").toInt(), 3);
        // After another subcommand a word is its own: only a number is the count.
        const BandctlRun upload = runBandctl({"watch", "--simulate", "upload", "--count", "1", "--json"});
        QVERIFY2(upload.exitCode == 0, upload.err.constData());
        QCOMPARE(upload.json().value(0).value("event").toString(), QStringLiteral("upload"));

        QTemporaryDir dir;
        const BandctlRun one = runBandctl({"--simulate", "8", "--usb-path", "1-1.3", "--json", "test", "--def", TESTER_DEF_XML},
                                          30000, dir.path());
        QCOMPARE(one.exitCode, 0);
        QCOMPARE(one.json().value(0).value("usb_path").toString(), QStringLiteral("1-1.3"));
        const BandctlRun two = runBandctl({"test", "--all", "--simulate", "4", "--usb-path", "1-1.2", "--usb-path", "1-1.4",
                                           "--json", "--def", TESTER_DEF_XML}, 30000, dir.path());
        QCOMPARE(two.exitCode, 0);
        QCOMPARE(two.json().size(), 2);
        QCOMPARE(two.json().value(0).value("usb_path").toString(), QStringLiteral("1-1.2"));
        QCOMPARE(two.json().value(1).value("usb_path").toString(), QStringLiteral("1-1.4"));
        const BandctlRun listed = runBandctl({"list", "--simulate", "8", "--usb-path", "1-1.5", "--json"});
        QCOMPARE(listed.json().size(), 1);
        QCOMPARE(listed.json().value(0).value("port").toInt(), 204);

        const BandctlRun outside = runBandctl({"info", "--simulate", "8", "--usb-path", "1-1.9"});
        QCOMPARE(outside.exitCode, 3);
        QVERIFY2(outside.err.contains("no simulated band at USB location 1-1.9"), outside.err.constData());
        QCOMPARE(runBandctl({"info", "--simulate", "8"}).exitCode, 3); // one band needed, eight there
    }

    // The trace file holds the protocol alone: no reader's or watcher's lines.
    void traceHoldsTheProtocolAlone()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("trace.txt");
        const BandctlRun test = runBandctl({"--simulate", "test", "--def", TESTER_DEF_XML, "--trace", file}, 30000, dir.path());
        QCOMPARE(test.exitCode, 0);
        QFile trace(file);
        QVERIFY(trace.open(QIODevice::ReadOnly));
        const QByteArray text = trace.readAll();
        QVERIFY(text.contains("( pedometer conf )"));
        QVERIFY2(!text.contains("Def") && !text.contains("Serial Port"), text.constData());
    }

    // Started with standard output closed, bandctl gives no descriptor of its
    // own to the trace or the results.
    void closedStandardOutput()
    {
#ifdef Q_OS_WIN
        QSKIP("a standard stream is closed from a POSIX shell here");
#endif
        QTemporaryDir dir;
        const QString file = dir.filePath("trace.txt");
        QProcess closed;
        closed.start("/bin/sh", {"-c", "exec \"$0\" --simulate --trace \"$1\" get time >&-", BANDCTL_PATH, file});
        const BandctlRun run = finishBandctl(&closed, 10000);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err, QByteArray());
        QFile trace(file);
        QVERIFY(trace.open(QIODevice::ReadOnly));
        const QByteArray text = trace.readAll();
        QVERIFY(text.contains("( pedometer time )"));
        const bool printable = std::all_of(text.begin(), text.end(),
                                           [](char c) { return c == '\t' || c == '\n' || (c >= ' ' && c < 0x7f); });
        QVERIFY2(printable, text.toHex(' ').constData());
    }

    void versionAndHelp()
    {
        const BandctlRun version = runBandctl({"--version"});
        QCOMPARE(version.exitCode, 0);
        QVERIFY2(QRegularExpression(QStringLiteral("^bandctl \\d+\\.\\d+\n$")).match(QString::fromUtf8(version.out)).hasMatch(),
                 version.out.constData());
        QVERIFY(runBandctl({"--help"}).out.contains("--version"));
    }

    void bandsThatFailOrAreMissing()
    {
        auto band = pluggedBand();
        QVERIFY(band);
        band->setFault(SB_ITEM_VERSION, bandsim::Fault::NoAnswer);
        const BandctlRun silent = runBandctl(QStringList{"--json", "get", "version"} + on(*band));
        QCOMPARE(silent.exitCode, 1);
        QVERIFY(silent.elapsedMs < 5000);
        QVERIFY(silent.err.contains("did not answer"));
        QCOMPARE(silent.json().value(0).value("exit_code").toInt(), 1);

        // Pulled out between the read of the settings and their write.
        band->clearFaults();
        band->setFault(SB_ITEM_CONF, bandsim::Fault::DropsOffAfterAnswer);
        const BandctlRun pulled = runBandctl(QStringList{"set", "conf", "goal=9000"} + on(*band));
        QCOMPARE(pulled.exitCode, 1);
        QVERIFY(pulled.err.contains("went away"));
        QVERIFY(pulled.elapsedMs < 5000);

        QCOMPARE(runBandctl({"info", "--device", "/dev/pts/no-such-band"}).exitCode, 3);
        if (QDir(QStringLiteral("/dev")).entryList({QStringLiteral("ttyACM*")}, QDir::System).isEmpty()) {
            const BandctlRun none = runBandctl({"info"});
            QCOMPARE(none.exitCode, 3);
            QVERIFY(none.err.contains("no band found"));
        }
    }

    void watchEndsOnCtrlCWithTheStreamSwitchedOff()
    {
        auto band = pluggedBand();
        QVERIFY(band);
        QProcess watch;
        startBandctl(&watch, QStringList{"watch", "upload", "--json"} + on(*band));
        QTRY_VERIFY_WITH_TIMEOUT(watch.bytesAvailable() > 200 || watch.state() != QProcess::Running, 10000);
        QVERIFY(::kill(pid_t(watch.processId()), SIGINT) == 0);
        const BandctlRun run = finishBandctl(&watch, 5000);
        QCOMPARE(run.exitCode, 0);
        const QList<QJsonObject> events = run.json();
        QVERIFY(events.size() >= 2);
        for (const QJsonObject &event : events)
            QCOMPARE(event.value("event").toString(), QStringLiteral("upload"));
        QTRY_COMPARE(lastCommandItem(*band), int(SB_ITEM_STOP_UPLOAD));

        band->clearCommandsReceived();
        const BandctlRun counted = runBandctl(QStringList{"watch", "upload", "--count", "5", "--json"} + on(*band));
        QCOMPARE(counted.exitCode, 0);
        QCOMPARE(counted.json().size(), 5);
        QCOMPARE(counted.json().value(4).value("length").toInt(), 16);
        // bytes: two hex digits a byte, blank-separated, as the README shows.
        const QString bytes = counted.json().value(4).value("bytes").toString();
        QVERIFY2(QRegularExpression(QStringLiteral("^[0-9a-f]{2}( [0-9a-f]{2}){15}$")).match(bytes).hasMatch(),
                 qPrintable(bytes));
        QTRY_COMPARE(lastCommandItem(*band), int(SB_ITEM_STOP_UPLOAD));

        // A reader that stops reading (`| head -1`) ends the watch the same way.
        band->clearCommandsReceived();
        QProcess headed;
        headed.start("/bin/sh", {"-c", QStringLiteral("\"%1\" watch upload --json --device %2 | head -1")
                                           .arg(QStringLiteral(BANDCTL_PATH), QString::fromStdString(band->devicePath()))});
        const BandctlRun firstOnly = finishBandctl(&headed, 10000);
        QCOMPARE(firstOnly.exitCode, 0);
        QCOMPARE(firstOnly.json().size(), 1);
        QTRY_COMPARE(lastCommandItem(*band), int(SB_ITEM_STOP_UPLOAD));

        const BandctlRun minStat = runBandctl({"watch", "minstat", "--count", "1", "--json", "--simulate"});
        QCOMPARE(minStat.exitCode, 0);
        QCOMPARE(minStat.json().value(0).value("event").toString(), QStringLiteral("minstat"));
        QVERIFY(minStat.json().value(0).contains("temperature"));
    }

    void watchNoticesTheBandPulledOut()
    {
        auto band = pluggedBand();
        QVERIFY(band);
        QProcess watch;
        startBandctl(&watch, QStringList{"watch", "upload", "--json"} + on(*band));
        QTRY_VERIFY_WITH_TIMEOUT(watch.bytesAvailable() > 0 || watch.state() != QProcess::Running, 10000);
        band->unplug();
        const BandctlRun run = finishBandctl(&watch, 5000);
        QCOMPARE(run.exitCode, 1);
        QVERIFY(run.err.contains("went away"));
        QVERIFY(run.elapsedMs < 3000);
    }

    void listResetUpgradeAndHelp()
    {
        const BandctlRun list = runBandctl({"list", "--simulate", "--json"});
        QCOMPARE(list.exitCode, 0);
        QCOMPARE(list.json().value(0).value("mode").toString(), QStringLiteral("serial"));
        QCOMPARE(list.json().value(0).value("usb_id").toString(), QStringLiteral("0451:16aa"));
        const BandctlRun hub = runBandctl({"list", "--simulate=3", "--json"});
        QCOMPARE(hub.exitCode, 0);
        QCOMPARE(hub.json().size(), 3);
        QCOMPARE(hub.json().value(2).value("usb_path").toString(), QStringLiteral("1-1.3"));
        QCOMPARE(hub.json().value(2).value("port").toInt(), 202);
        QCOMPARE(runBandctl({"--simulate", "3", "info"}).exitCode, 3); // one band needed, three there

        auto band = pluggedBand();
        QVERIFY(band);
        std::atomic<int> restarts{0};
        std::atomic<int> upgrades{0};
        band->onRestart([&] { ++restarts; });
        band->onUpgrade([&] { ++upgrades; });
        QCOMPARE(runBandctl(QStringList{"reset"} + on(*band)).exitCode, 0);
        QTRY_COMPARE(restarts.load(), 1);
        QVERIFY(band->plugIn());
        QCOMPARE(runBandctl(QStringList{"upgrade", "--json"} + on(*band)).json().value(0).value("sent").toBool(), true);
        QTRY_COMPARE(upgrades.load(), 1);

        const BandctlRun help = runBandctl({"--help"});
        QCOMPARE(help.exitCode, 0);
        for (const char *word : {"list", "info", "get", "set", "watch", "reset", "upgrade", "test", "burn", "Exit codes"})
            QVERIFY2(help.out.contains(word), word);
        // Every summary stands apart from its usage, long ones too.
        for (const char *summary : {"read one item of the band", "the burner's cycle:"})
            QVERIFY2(help.out.contains(QByteArray("  ") + summary), summary);
        QVERIFY(runBandctl({"watch", "--help"}).out.contains("--count N"));
    }
};

QTEST_GUILESS_MAIN(TestCommands)
#include "tst_commands.moc"

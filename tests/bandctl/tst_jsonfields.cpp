// The JSON fields scripts rely on, as the README's "JSON fields" table lists
// them: every key of every kind of line, nested ones as parent.child and
// list[].child. A renamed, missing or extra key fails here; a field that is
// not known is there as null, never left out.
#include "bandctlrunner.h"

#include <bandsim/virtualband.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {

QStringList keysOf(const QJsonObject &object, const QString &prefix = {})
{
    QStringList keys;
    for (auto field = object.begin(); field != object.end(); ++field) {
        const QString key = prefix + field.key();
        keys << key;
        if (field.value().isObject())
            keys << keysOf(field.value().toObject(), key + u'.');
        else if (field.value().isArray() && field.value().toArray().first().isObject())
            keys << keysOf(field.value().toArray().first().toObject(), key + QStringLiteral("[]."));
    }
    std::sort(keys.begin(), keys.end());
    return keys;
}

QStringList sorted(QStringList keys)
{
    std::sort(keys.begin(), keys.end());
    return keys;
}

QStringList nested(const QString &parent, const QStringList &children)
{
    QStringList keys = {parent};
    for (const QString &child : children)
        keys << parent + u'.' + child;
    return keys;
}

QStringList arrayOf(const QString &parent, const QStringList &children)
{
    QStringList keys = {parent};
    for (const QString &child : children)
        keys << parent + QStringLiteral("[].") + child;
    return keys;
}

// Each item's fields, as get prints them and info nests them.
const QMap<QString, QStringList> kItems = {
    {"version", {"version", "bluetooth"}},
    {"time", {"time"}},
    {"conf", {"weight", "height", "sex", "age", "goal"}},
    {"led", {"led0", "led1"}},
    {"alarm", {"alarms", "alarms[].entry", "alarms[].hour", "alarms[].minute", "alarms[].mode"}},
    {"stat", {"date", "time", "steps", "distance", "calorie"}},
    {"daydata", {"date", "steps", "distance", "calorie"}},
    {"daystat", {"day", "valid", "date", "steps", "distance", "calorie", "count"}},
};

const QStringList kRecordFields = {"record", "record_spooled", "record_problem", "station_problem"};
const QStringList kConf = kItems["conf"];
const QStringList kAlarmEntry = {"entry", "hour", "minute", "mode"};
const QStringList kTestDetails = QStringList{"version", "bluetooth", "time_sent", "time_read", "error", "differences"}
                                 + nested("led_sent", kItems["led"]) + nested("led_read", kItems["led"])
                                 + nested("conf_sent", kConf) + nested("conf_read", kConf)
                                 + arrayOf("alarms_sent", kAlarmEntry) + arrayOf("alarms_read", kAlarmEntry);
const QStringList kFile = {"name", "bytes", "sha256", "sha256_read_back"};
const QStringList kBurnDetails = QStringList{"stage", "error", "source", "disk", "version", "bluetooth"}
                                 + nested("steps", {"CSD", "CSC", "CSB", "CDD", "ROB", "ROC", "CNC", "CNB", "RST"})
                                 + nested("cfg", kFile) + nested("bin", kFile);
const QStringList kRun = {"id", "program", "station", "operator", "started_at", "ended_at", "day", "duration_ms",
                          "outcome", "failed_step", "failed_row", "unit", "first_try", "simulated", "usb_path", "waiting",
                          "def_sha256", "image_sha256", "image_version"};

// A station folder with both programs' files, so that test and burn run there.
bool prepare(const QTemporaryDir &dir)
{
    const QString burner = QStringLiteral(BURNER_SOURCE_DIR);
    return QDir(dir.path()).mkdir("bin") && QFile::copy(burner + "/def.xml", dir.filePath("burn.xml"))
        && QFile::copy(burner + "/bin/band.cfg", dir.filePath("bin/band.cfg"))
        && QFile::copy(burner + "/bin/band.bin", dir.filePath("bin/band.bin"))
        && QFile::copy(TESTER_DEF_XML, dir.filePath("def.xml"));
}

QJsonObject onlyLine(const BandctlRun &run)
{
    return run.json().size() == 1 ? run.json().first() : QJsonObject();
}

} // namespace

class TestJsonFields : public QObject {
    Q_OBJECT

private slots:
    void bandLines()
    {
        QStringList info = {"command", "device"};
        for (const char *item : {"version", "time", "conf", "led", "alarm", "stat", "daydata", "daystat"}) {
            const QJsonObject line = runBandctl({"--simulate", "--json", "get", item}).json().value(0);
            QCOMPARE(keysOf(line), sorted(QStringList{"item"} + kItems[item]));
            if (qstrcmp(item, "daydata") != 0 && qstrcmp(item, "daystat") != 0)
                info += nested(item, kItems[item]);
        }
        QCOMPARE(keysOf(onlyLine(runBandctl({"--simulate", "--json", "info"}))), sorted(info));
        QCOMPARE(keysOf(onlyLine(runBandctl({"--simulate", "--json", "list"}))),
                 sorted({"mode", "port", "device", "mount", "usb_id", "usb_path", "serial"}));
        for (const char *command : {"reset", "upgrade"})
            QCOMPARE(keysOf(onlyLine(runBandctl({"--simulate", "--json", command}))), sorted({"command", "device", "sent"}));
        QCOMPARE(keysOf(onlyLine(runBandctl({"--simulate", "--json", "watch", "upload", "--count", "1"}))),
                 sorted({"event", "length", "bytes"}));
        QCOMPARE(keysOf(onlyLine(runBandctl({"--simulate", "--json", "watch", "minstat", "--count", "1"}))),
                 sorted({"event", "date", "time", "steps", "distance", "calorie", "temperature", "pressure"}));
    }

    void failureLines()
    {
        QCOMPARE(keysOf(onlyLine(runBandctl({"--json", "get", "weather"}))), sorted({"error", "exit_code"}));
        bandsim::VirtualBand band;
        QVERIFY(band.plugIn());
        band.setFault(SB_ITEM_CONF, bandsim::Fault::StoresDifferentValue);
        const BandctlRun kept = runBandctl({"--json", "set", "conf", "weight=70", "--device",
                                            QString::fromStdString(band.devicePath())});
        QCOMPARE(kept.exitCode, 1);
        QCOMPARE(keysOf(onlyLine(kept)), sorted({"error", "exit_code", "item", "differences", "differences[].field",
                                                 "differences[].sent", "differences[].stored"}));
    }

    // test, burn, and what the station's records make of them.
    void runLinesAndRecords()
    {
        QTemporaryDir dir;
        QVERIFY(prepare(dir));
        const BandctlRun test = runBandctl({"--simulate", "--json", "test"}, 30000, dir.path());
        QCOMPARE(test.exitCode, 0);
        QCOMPARE(keysOf(onlyLine(test)),
                 sorted(QStringList{"command", "device", "usb_path", "outcome", "failed_step", "failed_row", "duration_ms"}
                        + kTestDetails + kRecordFields));
        const BandctlRun burn = runBandctl({"--simulate", "--json", "burn", "--def", "burn.xml"}, 60000, dir.path());
        QCOMPARE(burn.exitCode, 0);
        QCOMPARE(keysOf(onlyLine(burn)),
                 sorted(QStringList{"command", "device", "usb_path", "outcome", "failed_step", "duration_ms"}
                        + kBurnDetails + kRecordFields));
        // One vocabulary: the result's fields are the record's.
        QCOMPARE(onlyLine(test).value("conf_sent"), onlyLine(test).value("conf_read"));
        QCOMPARE(onlyLine(test).value("conf_sent").toObject().value("sex").toString(), QStringLiteral("female"));

        bandsim::VirtualBand failing; // a failure, for yield's failing steps
        QVERIFY(failing.plugIn());
        failing.setFault(SB_ITEM_CONF, bandsim::Fault::StoresDifferentValue);
        QCOMPARE(runBandctl({"test", "--device", QString::fromStdString(failing.devicePath())}, 30000, dir.path()).exitCode, 1);

        const QList<QJsonObject> runs = runBandctl({"records", "--json"}, 30000, dir.path()).json();
        QCOMPARE(runs.size(), 3);
        QCOMPARE(keysOf(runs[0]), sorted(kRun + nested("details", kTestDetails)));
        QCOMPARE(keysOf(runs[1]), sorted(kRun + nested("details", kBurnDetails)));
        QCOMPARE(runs[0].value("details").toObject().value("conf_sent"), onlyLine(test).value("conf_sent"));

        const QList<QJsonObject> yield = runBandctl({"yield", "--json", "--include-simulated"}, 30000, dir.path()).json();
        QCOMPARE(yield.size(), 3);
        for (const QJsonObject &line : yield.mid(0, 2))
            QCOMPARE(keysOf(line), sorted({"kind", "station", "day", "program", "runs", "pass", "fail", "interrupted",
                                           "units", "first_pass", "first_pass_yield"}));
        QCOMPARE(yield[0].value("kind").toString(), QStringLiteral("yield"));
        QCOMPARE(keysOf(yield[2]), sorted({"kind", "failed_step", "program", "count"}));
        QCOMPARE(yield[2].value("kind").toString(), QStringLiteral("failing_step"));

        // One band's route, from results.db here.
        const QList<QJsonObject> route =
            runBandctl({"unit", runs[0].value("unit").toString(), "--json"}, 30000, dir.path()).json();
        QCOMPARE(route.size(), 2);
        QCOMPARE(keysOf(route[0]), sorted(kRun + nested("details", kTestDetails) + QStringList{"kind"}));
        QCOMPARE(keysOf(route[1]), sorted({"kind", "unit", "runs", "wrong_route", "flags"}));

        // A server that is not there: sync still says what it did.
        QFile station(dir.filePath("station.ini"));
        QVERIFY(station.open(QIODevice::WriteOnly));
        station.write("[database]\nurl=postgresql://band@127.0.0.1:1/records\n");
        station.close();
        const BandctlRun sync = runBandctl({"sync", "--json"}, 30000, dir.path());
        QCOMPARE(keysOf(sync.json().value(0)), sorted({"command", "server", "sent", "waiting", "station_problem"}));
    }
};

QTEST_GUILESS_MAIN(TestJsonFields)
#include "tst_jsonfields.moc"

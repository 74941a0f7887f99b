// bandctl test: the tester's sequence from the command line, one band and
// several at once.
#include "bandctlrunner.h"

#include <bandsim/virtualband.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif
#include <memory>
#include <vector>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

class TestTesting : public QObject {
    Q_OBJECT

private slots:
    void oneBandPasses()
    {
        const BandctlRun run = runBandctl({"test", "--simulate", "--json", "--def", TESTER_DEF_XML});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.json().size(), 1);
        const QJsonObject result = run.json().value(0);
        QCOMPARE(result.value("outcome").toString(), QStringLiteral("pass"));
        QCOMPARE(result.value("version").toString(), QStringLiteral("1.2.3.4"));
        QCOMPARE(result.value("conf_sent").toObject(), result.value("conf_read").toObject());
        QCOMPARE(result.value("led_sent").toObject(), result.value("led_read").toObject());
        QCOMPARE(result.value("alarms_sent").toArray(), result.value("alarms_read").toArray());
        QCOMPARE(result.value("alarms_sent").toArray().size(), 8);
        QVERIFY(result.value("differences").isNull());
        QVERIFY(result.value("failed_step").isNull());
    }

    // One process, a link and a thread per band: a faulty band, one pulled
    // out and a silent one end on their own, and hold no other back.
    void everyBandAtOnceAndOnlyAllPassingPasses()
    {
        std::vector<std::unique_ptr<bandsim::VirtualBand>> bands;
        QStringList devices; // a passing band restarts and leaves its path
        QStringList arguments = {"test", "--all", "--json", "--def", TESTER_DEF_XML};
        for (int i = 0; i < 5; ++i) {
            bands.push_back(std::make_unique<bandsim::VirtualBand>());
            QVERIFY(bands.back()->plugIn());
            devices += QString::fromStdString(bands.back()->devicePath());
            arguments += {"--device", devices.back()};
        }
        bands[1]->setFault(SB_ITEM_CONF, bandsim::Fault::StoresDifferentValue);
        bands[2]->setFault(SB_ITEM_TIME, bandsim::Fault::DropsOffAfterAnswer);
        bands[3]->setFault(SB_ITEM_VERSION, bandsim::Fault::NoAnswer);
        const BandctlRun run = runBandctl(arguments);
        QCOMPARE(run.exitCode, 1);
        const QList<QJsonObject> results = run.json();
        QCOMPARE(results.size(), 5);
        const char *outcomes[] = {"pass", "fail", "interrupted", "fail", "pass"};
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(results[i].value("device").toString(), devices[i]);
            QCOMPARE(results[i].value("outcome").toString(), QString::fromLatin1(outcomes[i]));
            QVERIFY(results[i].value("usb_path").isNull()); // a --device path's place is not known here
        }
        QCOMPARE(results[1].value("failed_step").toString(), QStringLiteral("read settings"));
        QCOMPARE(results[2].value("failed_step").toString(), QStringLiteral("read time"));
        QCOMPARE(results[3].value("failed_step").toString(), QStringLiteral("read version"));
        QVERIFY(results[4].value("duration_ms").toInt() < 1000); // not held back by the silent band
        QVERIFY(run.elapsedMs < 5000);

        // The trace goes to standard error, never into the results.
        bands[1]->clearFaults();
        const BandctlRun traced = runBandctl({"test", "--all", "--json", "--trace", "--def", TESTER_DEF_XML,
                                              "--device", devices[1]});
        QCOMPARE(traced.exitCode, 0);
        QCOMPARE(traced.json().size(), 1);
        QVERIFY(traced.err.contains("( pedometer conf )"));
        QVERIFY(traced.err.contains(("[band " + devices[1] + "]\n[PC]  ---->  [USB]\n").toUtf8())); // whose block it is
    }

    // A port another program holds fails that band alone, saying why.
    void heldPortFailsThatBandAlone()
    {
#ifdef Q_OS_WIN
        QSKIP("the port is held through POSIX calls here");
#else
        bandsim::VirtualBand spare, held;
        QVERIFY(spare.plugIn());
        QVERIFY(held.plugIn());
        const int holder = ::open(held.devicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        QVERIFY(holder >= 0);
        QCOMPARE(::flock(holder, LOCK_EX | LOCK_NB), 0);
        const QString sparePath = QString::fromStdString(spare.devicePath());
        const QString heldPath = QString::fromStdString(held.devicePath());
        QTemporaryDir dir;
        const BandctlRun mixed = runBandctl({"test", "--all", "--def", TESTER_DEF_XML, "--device", sparePath,
                                             "--device", heldPath}, 30000, dir.path());
        const BandctlRun alone = runBandctl({"test", "--json", "--def", TESTER_DEF_XML, "--device", heldPath}, 30000,
                                            dir.path());
        ::close(holder);
        QCOMPARE(mixed.exitCode, 1);
        QVERIFY2(mixed.out.contains((sparePath + ": pass\n").toUtf8()), mixed.out.constData());
        QVERIFY2(mixed.out.contains((heldPath + ": fail at open port (").toUtf8()), mixed.out.constData());
        const QString inUse = heldPath + " is in use by another program";
        QCOMPARE(alone.exitCode, 1);
        QCOMPARE(alone.json().value(0).value("error").toString(), inUse);
        // The records say so as well, the band that passed nothing.
        const QList<QJsonObject> kept = runBandctl({"records", "--json"}, 30000, dir.path()).json();
        QCOMPARE(kept.size(), 3);
        QStringList errors;
        for (const QJsonObject &record : kept)
            errors << record.value("details").toObject().value("error").toString();
        errors.sort();
        QCOMPARE(errors, (QStringList{QString(), inUse, inUse}));
#endif
    }

    // Every mistake in station.ini is named, the windows' settings too, and
    // no band is tested meanwhile.
    void everyStationMistakeSaid()
    {
        QTemporaryDir dir;
        QFile ini(dir.filePath("station.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[station]\nname=line 1, tester 3\nslots=17\nautostart=maybe\n");
        ini.close();
        const BandctlRun run = runBandctl({"test", "--simulate", "--json", "--def", TESTER_DEF_XML}, 30000, dir.path());
        QCOMPARE(run.exitCode, 4);
        QVERIFY(!QFile::exists(dir.filePath("results.db")));
        const QString problem = run.json().value(0).value("station_problem").toString();
        for (const char *mistake : {"name has a comma", "slots=17", "autostart=maybe"})
            QVERIFY2(problem.contains(QLatin1String(mistake)), qPrintable(problem));
    }

    // A simulated hub: every band in its own place, one record each.
    void simulatedHubOneRecordPerBand()
    {
        QTemporaryDir dir;
        const BandctlRun run = runBandctl({"test", "--all", "--simulate", "3", "--json", "--def", TESTER_DEF_XML},
                                          30000, dir.path());
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.json().size(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(run.json()[i].value("usb_path").toString(), QString("1-1.%1").arg(i + 1));
        const BandctlRun text = runBandctl({"test", "--all", "--simulate=2", "--def", TESTER_DEF_XML}, 30000, dir.path());
        QVERIFY2(text.out.startsWith("1-1.1 ") && text.out.contains("\n1-1.2 "), text.out.constData());
        const QList<QJsonObject> kept = runBandctl({"records", "--json"}, 30000, dir.path()).json();
        QCOMPARE(kept.size(), 5);
        QSet<QString> ids;
        for (const QJsonObject &record : kept) {
            ids.insert(record.value("id").toString());
            QVERIFY(record.value("usb_path").toString().startsWith("1-1.")); // each band's place kept
            QVERIFY(record.value("simulated").toBool());
        }
        for (const QJsonObject &result : run.json())
            QVERIFY(ids.contains(result.value("record").toString()));
    }

    // Each run kept in the working folder's records, read back by records and yield.
    void runsKeptAndCounted()
    {
        QTemporaryDir dir;
        bandsim::VirtualBand band;
        QVERIFY(band.plugIn());
        band.setFault(SB_ITEM_CONF, bandsim::Fault::StoresDifferentValue);
        const QString device = QString::fromStdString(band.devicePath());
        const BandctlRun failed = runBandctl({"test", "--device", device, "--json", "--def", TESTER_DEF_XML}, 30000, dir.path());
        QCOMPARE(failed.exitCode, 1);
        band.clearFaults();
        const BandctlRun passed = runBandctl({"test", "--device", device, "--json", "--def", TESTER_DEF_XML}, 30000, dir.path());
        QCOMPARE(passed.exitCode, 0);

        const QList<QJsonObject> kept = runBandctl({"records", "--json"}, 30000, dir.path()).json();
        QCOMPARE(kept.size(), 2);
        QCOMPARE(kept[0].value("id"), failed.json().value(0).value("record"));
        QCOMPARE(kept[0].value("failed_step").toString(), QStringLiteral("read settings"));
        QCOMPARE(kept[0].value("failed_row").toInt(), 7);
        QCOMPARE(kept[1].value("outcome").toString(), QStringLiteral("pass"));
        QCOMPARE(kept[1].value("unit"), kept[0].value("unit")); // the same band, by its address
        QCOMPARE(kept[1].value("first_try").toBool(), false);
        QCOMPARE(kept[0].value("simulated").toBool(), true); // a virtual band is no production

        QCOMPARE(runBandctl({"yield", "--json"}, 30000, dir.path()).out, QByteArray());
        const BandctlRun yield = runBandctl({"yield", "--json", "--include-simulated"}, 30000, dir.path());
        QCOMPARE(yield.exitCode, 0);
        const QJsonObject day = yield.json().value(0);
        QCOMPARE(day.value("runs").toInt(), 2);
        QCOMPARE(day.value("units").toInt(), 1);
        QCOMPARE(day.value("first_pass").toInt(), 0);
        QCOMPARE(yield.json().value(1).value("failed_step").toString(), QStringLiteral("read settings"));
        QCOMPARE(runBandctl({"records", "--outcome", "maybe"}, 30000, dir.path()).exitCode, 2);
    }

    // The LEDs and the alarm clock are real steps: a band that does not keep
    // them fails there, in the result, in test --all and in the record, with
    // the field it stored otherwise named.
    void ledAndAlarmStepsFailTheirBand()
    {
        QTemporaryDir dir;
        bandsim::VirtualBand refusesLeds, changesLastAlarm;
        QVERIFY(refusesLeds.plugIn() && changesLastAlarm.plugIn());
        refusesLeds.setFault(SB_ITEM_LED, bandsim::Fault::RefusedWrite);
        changesLastAlarm.setFault(SB_ITEM_ALARM, bandsim::Fault::StoresDifferentLastField);
        const QString ledDevice = QString::fromStdString(refusesLeds.devicePath());
        const QString alarmDevice = QString::fromStdString(changesLastAlarm.devicePath());

        const BandctlRun one = runBandctl({"test", "--device", alarmDevice, "--json", "--def", TESTER_DEF_XML}, 30000,
                                          dir.path());
        QCOMPARE(one.exitCode, 1);
        const QJsonObject result = one.json().value(0);
        QCOMPARE(result.value("failed_step").toString(), QStringLiteral("read alarms"));
        QCOMPARE(result.value("failed_row").toInt(), 9);
        const QJsonObject difference{{"field", "alarms[7].hour"}, {"sent", 0}, {"stored", 1}};
        QCOMPARE(result.value("differences").toArray(), QJsonArray{difference});
        QCOMPARE(result.value("led_sent").toObject(), result.value("led_read").toObject());
        const BandctlRun text = runBandctl({"test", "--device", alarmDevice, "--def", TESTER_DEF_XML}, 30000, dir.path());
        QVERIFY2(text.out.contains("alarms[7].hour (sent 1, stored 2)"), text.out.constData());

        const QList<QJsonObject> kept = runBandctl({"records", "--json"}, 30000, dir.path()).json();
        QCOMPARE(kept.size(), 2);
        QCOMPARE(kept[0].value("failed_step").toString(), QStringLiteral("read alarms"));
        QCOMPARE(kept[0].value("details").toObject().value("differences").toArray(), QJsonArray{difference});

        const BandctlRun all = runBandctl({"test", "--all", "--def", TESTER_DEF_XML, "--device", ledDevice,
                                           "--device", alarmDevice}, 30000, dir.path());
        QCOMPARE(all.exitCode, 1);
        QVERIFY2(all.out.contains((ledDevice + ": fail at write LEDs\n").toUtf8()), all.out.constData());
        QVERIFY2(all.out.contains((alarmDevice + ": fail at read alarms\n").toUtf8()), all.out.constData());
    }

    // A record nothing would take: the exit code says so, the record is on standard error.
    void recordNotKeptSaysSo()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("results.db"));
        QFile spoolInTheWay(dir.filePath("results-spool"));
        QVERIFY(spoolInTheWay.open(QIODevice::WriteOnly));
        spoolInTheWay.close();
        const BandctlRun run = runBandctl({"test", "--simulate", "--json", "--def", TESTER_DEF_XML}, 30000, dir.path());
        QCOMPARE(run.exitCode, 7);
        const QJsonObject result = run.json().value(0);
        QCOMPARE(result.value("outcome").toString(), QStringLiteral("pass"));
        QVERIFY2(result.value("record_problem").toString().contains("held in memory only"), run.out.constData());
        QVERIFY(run.err.contains("Record not kept: {"));
    }

    // A file-size limit (ulimit -f) is a write error, never a kill: the
    // result stands, and the record goes the documented way.
    void fileSizeLimitIsAWriteError()
    {
#ifdef Q_OS_UNIX
        QTemporaryDir dir;
        QCOMPARE(runBandctl({"test", "--simulate", "--json", "--def", TESTER_DEF_XML}, 30000, dir.path()).exitCode, 0);
        QProcess limited;
        limited.setWorkingDirectory(dir.path());
        limited.setChildProcessModifier([] {
            const rlimit nothingMore{0, 0};
            setrlimit(RLIMIT_FSIZE, &nothingMore);
        });
        limited.start(BANDCTL_PATH, {"test", "--simulate", "--json", "--def", TESTER_DEF_XML});
        QVERIFY(limited.waitForFinished(30000));
        QCOMPARE(limited.exitStatus(), QProcess::NormalExit);
        QCOMPARE(limited.exitCode(), 7);
        const QJsonObject result = QJsonDocument::fromJson(limited.readAllStandardOutput()).object();
        QCOMPARE(result.value("outcome").toString(), QStringLiteral("pass"));
        QVERIFY(result.value("record_problem").toString().contains("held in memory only"));
        QVERIFY(limited.readAllStandardError().contains("Record not kept: {"));
#else
        QSKIP("no file-size limit here");
#endif
    }

    void pulledOutOrStoppedIsInterruptedNeverPassed()
    {
        bandsim::VirtualBand band;
        QVERIFY(band.plugIn());
        const QString device = QString::fromStdString(band.devicePath());
        band.setFault(SB_ITEM_TIME, bandsim::Fault::DropsOffAfterAnswer); // the set time is answered, then gone
        const BandctlRun pulled = runBandctl({"test", "--json", "--device", device, "--def", TESTER_DEF_XML});
        QCOMPARE(pulled.exitCode, 1);
        QCOMPARE(pulled.json().value(0).value("outcome").toString(), QStringLiteral("interrupted"));
        QCOMPARE(pulled.json().value(0).value("failed_step").toString(), QStringLiteral("read time"));

        bandsim::VirtualBand silent;
        QVERIFY(silent.plugIn());
        silent.setFault(SB_ITEM_VERSION, bandsim::Fault::NoAnswer);
        QProcess test;
        startBandctl(&test, {"test", "--json", "--device", QString::fromStdString(silent.devicePath()), "--def", TESTER_DEF_XML});
        QTRY_VERIFY(!silent.commandsReceived().empty()); // waiting for the version now
        QVERIFY(::kill(pid_t(test.processId()), SIGINT) == 0);
        const BandctlRun stopped = finishBandctl(&test, 5000);
        QCOMPARE(stopped.exitCode, 1);
        QCOMPARE(stopped.json().value(0).value("outcome").toString(), QStringLiteral("interrupted"));
        QCOMPARE(silent.commandsReceived().size(), size_t(1)); // nothing after the stop
    }

    void unusableDefinition()
    {
        QTemporaryDir dir;
        QFile truncated(dir.filePath("def.xml"));
        QVERIFY(truncated.open(QIODevice::WriteOnly));
        truncated.write("<QAT_DEF><def type=\"person\"><settings weight=\"60\"");
        truncated.close();
        const BandctlRun single = runBandctl({"test", "--simulate"}, 30000, dir.path());
        QCOMPARE(single.exitCode, 4);
        QVERIFY(single.err.contains("def.xml"));
        QVERIFY2(single.err.contains("at line 1:"), single.err.constData()); // the reader's reason, in one line
        QCOMPARE(single.err.count('\n'), 1);
        const BandctlRun all = runBandctl({"test", "--all", "--device", "/dev/null"}, 30000, dir.path());
        QCOMPARE(all.exitCode, 4);
        QVERIFY(all.err.contains("at line 1:"));
        const BandctlRun missing = runBandctl({"test", "--simulate", "--def", dir.filePath("missing.xml")});
        QCOMPARE(missing.exitCode, 4);
        QVERIFY(missing.err.contains("Fail to find"));

        // A value its field on the band cannot hold: refused, not cut to its low bits.
        QVERIFY(truncated.open(QIODevice::WriteOnly | QIODevice::Truncate));
        truncated.write("<QAT_DEF><def type='person'><settings weight='300'/></def></QAT_DEF>");
        truncated.close();
        const BandctlRun tooHeavy = runBandctl({"test", "--simulate"}, 30000, dir.path());
        QCOMPARE(tooHeavy.exitCode, 4);
        QVERIFY2(tooHeavy.err.contains("weight \"300\": allowed are whole numbers from 0 to 255"), tooHeavy.err.constData());
        QVERIFY(!QFile::exists(dir.filePath("results.db"))); // no run, no record
    }
};

QTEST_GUILESS_MAIN(TestTesting)
#include "tst_testing.moc"

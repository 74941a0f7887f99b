// The burner's controller without a window, as bandctl and the windows drive
// it: the virtual band through the whole cycle and through the single
// window's two presses, a given disk folder, every bounded wait and
// interruption, and a worker failing in itself.
#include "burncontroller.h"
#include "simulatedband.h"
#include "simulatedhotplugsource.h"

#include "bandchannel.h"
#include "recordstore.h"

#include <QDir>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <stdexcept>

namespace {

constexpr int kSlowMs = 30000; // only a bound against hangs
const BurnFileNames kNames{"band.cfg", "band.bin"};

class FakeHotplug : public HotplugSource {
public:
    bool start() override { return true; }
    void mountBandDisk(const QString &root)
    {
        emit usbDeviceArrived(0x0451, 0x16A8);
        emit volumeMounted({root, VolumeInfo::Kind::Local, true, 0x0451, 0x16A8});
    }
};

class NoPorts : public PortSource {
public:
    QList<SerialPortEntry> availablePorts() const override { return {}; }
};

void put(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
}

// "pass CSD+ CSC+ ..": the outcome and each step's result (+ passed, - failed, . not run).
QString summary(const BurnReport &report)
{
    QString text = BurnReport::outcomeName(report.outcome);
    for (int step = 0; step < BurnReport::kStepCount; ++step) {
        const auto result = report.steps[size_t(step)];
        text += ' ' + BurnReport::stepLabel(step)
            + (result == BurnReport::StepResult::Passed ? '+' : result == BurnReport::StepResult::Failed ? '-' : '.');
    }
    return text;
}

BurnReport waitForReport(BurnController &cycle, int timeoutMs = kSlowMs)
{
    QSignalSpy finished(&cycle, &BurnController::finished);
    if (!finished.wait(timeoutMs))
        return BurnReport();
    return finished.first().first().value<BurnReport>();
}

} // namespace

class BurnCycleTest : public QObject {
    Q_OBJECT
    QTemporaryDir work;
    NoPorts noPorts;

private slots:
    void initTestCase()
    {
        QVERIFY(QDir::setCurrent(work.path()) && QDir().mkdir("bin"));
        put("bin/band.cfg", "configuration");
        put("bin/band.bin", QByteArray(100000, 'f'));
    }

    // Upgrade, the disk after the band's restart, burn, the port back with
    // the band's version; a band that comes back with another address than
    // the one upgraded is not taken for it.
    void wholeCycleWithVirtualBand_data()
    {
        QTest::addColumn<QString>("expected");
        QTest::newRow("the band upgraded comes back") << "";
        QTest::newRow("another band comes back") << "00:00:00:00:00:01";
    }
    void wholeCycleWithVirtualBand()
    {
        QFETCH(QString, expected);
        SimulatedBand band;
        QVERIFY(band.plugIn());
        SimulatedHotplugSource hotplug(&band);
        hotplug.setFirmwareName(kNames.binName);
        BurnController cycle(&hotplug, &band);
        QSignalSpy stages(&cycle, &BurnController::stageChanged);
        BurnCycleOptions options;
        options.files = kNames;
        options.upgradeDevice = band.devicePath({});
        options.pauseMs = 20;
        options.expectedBluetooth = expected;
        QVERIFY(cycle.start(options));
        QVERIFY(!cycle.start(options)); // one at a time
        const BurnReport report = waitForReport(cycle);
        QVERIFY(!report.version.isEmpty() && report.bluetooth.size() == 17);
        QCOMPARE(report.toJson()["version"].toString(), report.version);
        if (!expected.isEmpty()) {
            QCOMPARE(summary(report), QString("fail CSD+ CSC+ CSB+ CDD+ ROB+ ROC+ CNC+ CNB+ RST-"));
            QVERIFY2(report.error.startsWith("another band (" + report.bluetooth + ") came back"), qPrintable(report.error));
            return;
        }
        QCOMPARE(summary(report), QString("pass CSD+ CSC+ CSB+ CDD+ ROB+ ROC+ CNC+ CNB+ RST+")); // an old DEFAULT.CFG went
        QCOMPARE(stages.count(), 4);
        QCOMPARE(report.stage, BurnReport::Stage::Done);
        QCOMPARE(report.cfgBytes, 13);
        QCOMPARE(report.binBytes, 100000);
        QVERIFY(!report.diskRoot.isEmpty() && report.diskRoot.endsWith('/'));
        QVERIFY(band.isPluggedIn());
    }

    // A folder given: no upgrade, no waits; the report as JSON.
    void givenDiskFolder()
    {
        QTemporaryDir disk;
        BurnController cycle(nullptr, &noPorts);
        BurnCycleOptions options;
        options.files = kNames;
        options.diskRoot = disk.path();
        options.waitForPort = false;
        options.pauseMs = 0;
        QVERIFY(cycle.start(options));
        const BurnReport report = waitForReport(cycle);
        QCOMPARE(summary(report), QString("pass CSD+ CSC+ CSB+ CDD+ ROB+ ROC. CNC+ CNB+ RST+"));
        QCOMPARE(QDir(disk.path()).entryList(QDir::Files), QStringList({"band.bin", "band.cfg"}));
        const QJsonObject json = report.toJson();
        QCOMPARE(json["outcome"].toString(), QString("pass"));
        QVERIFY(json["failed_step"].isNull());
        QCOMPARE(json["steps"].toObject()["ROC"].toString(), QString("not run"));
        QCOMPARE(json["disk"].toString(), disk.path() + '/');
        QCOMPARE(json["bin"].toObject()["bytes"].toInt(), 100000);
        QVERIFY(QFile("run.log").size() > 0);
    }

    // bandctl burn on one of several bands in upgrade mode: the neighbour's
    // disk, though first, is not burned.
    void diskAtTheBandsLocation()
    {
        QTemporaryDir neighbours;
        QTemporaryDir own;
        FakeHotplug hotplug;
        BurnController cycle(&hotplug, &noPorts);
        cycle.setLocation("1-1.4.2");
        BurnCycleOptions options;
        options.files = kNames;
        options.pauseMs = 0;
        options.waitForPort = false;
        QSignalSpy finished(&cycle, &BurnController::finished);
        QSignalSpy waiting(&cycle, &BurnController::stageChanged);
        QVERIFY(cycle.start(options));
        QTRY_VERIFY_WITH_TIMEOUT(!waiting.isEmpty(), kSlowMs); // the disks come once it waits for them
        for (const auto &[location, root] : {std::pair{QString("1-1.4.3"), neighbours.path()}, {"1-1.4.2", own.path()}}) {
            emit hotplug.usbDeviceArrived(0x0451, 0x16A8, location);
            emit hotplug.volumeMounted({root + '/', VolumeInfo::Kind::Local, true, 0x0451, 0x16A8, location});
        }
        QVERIFY(finished.wait(kSlowMs));
        const BurnReport report = finished.first().first().value<BurnReport>();
        QVERIFY2(report.outcome == BurnReport::Outcome::Pass, qPrintable(summary(report) + ' ' + report.error));
        QCOMPARE(report.diskRoot, own.path() + '/');
        QVERIFY(QDir(neighbours.path()).isEmpty());
    }

    // Each wait ends within its bound with a clear reason; a failing step
    // and a band that cannot be upgraded are failures.
    void failures_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<int>("failedStep");
        QTest::addColumn<QString>("error");
        const QString notRun = " CSD. CSC. CSB. CDD. ROB. ROC. CNC. CNB. RST.";
        QTest::newRow("no disk") << "wait" << "fail" + notRun << -1 << "disk did not appear within 0.3 s";
        QTest::newRow("port does not return") << "disk port"
            << "fail CSD+ CSC+ CSB+ CDD+ ROB+ ROC. CNC+ CNB+ RST-" << 8 << "serial port did not return within 0.3 s";
        QTest::newRow("no source folder") << "disk nobin" << "fail CSD- CSC. CSB. CDD. ROB. ROC. CNC. CNB. RST-" << 0
                                          << "check elsewhere/: no such folder";
        QTest::newRow("upgrade on a dead port") << "upgrade" << "fail" + notRun << -1 << "cannot open port 251";
    }
    void failures()
    {
        QFETCH(QString, setup);
        QFETCH(QString, summary);
        QFETCH(int, failedStep);
        QFETCH(QString, error);
        QTemporaryDir disk;
        FakeHotplug hotplug;
        BurnController cycle(&hotplug, &noPorts);
        BurnCycleOptions options;
        options.files = kNames;
        options.pauseMs = 0;
        options.diskTimeoutMs = options.portTimeoutMs = 300;
        options.waitForPort = setup.contains("port");
        if (setup.contains("disk"))
            options.diskRoot = disk.path();
        if (setup.contains("nobin"))
            options.sourceFolder = "elsewhere";
        if (setup.contains("upgrade"))
            options.upgradePort = 251;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(cycle.start(options));
        const BurnReport report = waitForReport(cycle);
        QCOMPARE(::summary(report), summary);
        QCOMPARE(report.failedStep, failedStep);
        QVERIFY2(report.error.contains(error), qPrintable(report.error));
        QVERIFY(clock.elapsed() < 5000);
    }

    // The band pulled out mid-burn, and a stop while waiting: both end as
    // interrupted, the burn with the step it was in failed.
    void interruptions()
    {
        QTemporaryDir disk;
        FakeHotplug hotplug;
        BurnController cycle(&hotplug, &noPorts);
        BurnCycleOptions options;
        options.files = kNames;
        options.pauseMs = 60000;
        connect(&cycle, &BurnController::stepStarted, &hotplug, [&hotplug](uint idx) {
            if (idx == 6)
                emit hotplug.usbDeviceLeft(0x0451, 0x16A8);
        });
        QSignalSpy stages(&cycle, &BurnController::stageChanged);
        QVERIFY(cycle.start(options));
        QVERIFY(stages.wait(kSlowMs)); // waiting for the disk now
        hotplug.mountBandDisk(disk.path() + '/');
        BurnReport report = waitForReport(cycle);
        QCOMPARE(summary(report), QString("interrupted CSD+ CSC+ CSB+ CDD+ ROB+ ROC. CNC- CNB. RST-"));
        QCOMPARE(report.failedStep, 6);
        QCOMPARE(report.stage, BurnReport::Stage::Burn);

        options.diskTimeoutMs = kSlowMs;
        QVERIFY(cycle.start(options));
        QTimer::singleShot(50, &cycle, [&cycle] { cycle.stop("window closed"); });
        report = waitForReport(cycle);
        QCOMPARE(BurnReport::outcomeName(report.outcome), QString("interrupted"));
        QCOMPARE(report.stage, BurnReport::Stage::DiskWait);
        QCOMPARE(report.error, QString("window closed"));
    }

    // The single window's two presses: the band's disk by the order of its
    // hot-plug events; Reset on the band's own link, its disk, Burn, its
    // return, and the record made here.
    void twoPresses_data()
    {
        QTest::addColumn<QString>("events");
        QTest::addColumn<bool>("diskAtHand");
        QTest::newRow("band, then its volume") << "band own" << true;
        QTest::newRow("volume of unknown owner") << "band local" << true;
        QTest::newRow("unrelated device only") << "other own" << false;
        QTest::newRow("volume before band") << "own band" << false;
        QTest::newRow("media volume") << "band media" << false;
        QTest::newRow("network volume") << "band net" << false;
        QTest::newRow("operator's USB stick") << "band stick" << false;
        QTest::newRow("volume on no USB device") << "band internal" << false;
        QTest::newRow("unrelated device after band") << "band other own" << true;
        QTest::newRow("unrelated removal") << "band own otherGone" << true;
        QTest::newRow("band removed") << "band own gone" << false;
        QTest::newRow("volume after removal") << "band gone own" << false;
    }
    void twoPresses()
    {
        QFETCH(QString, events);
        QFETCH(bool, diskAtHand);
        FakeHotplug hotplug;
        BurnController cycle(&hotplug, &noPorts);
        cycle.watchDisks();
        QSignalSpy gone(&cycle, &BurnController::diskGone);
        using Kind = VolumeInfo::Kind;
        for (const QString &event : events.split(' ')) {
            if (event == "band" || event == "other")
                emit hotplug.usbDeviceArrived(0x0451, event == "band" ? 0x16A8 : 0x16AA);
            else if (event == "gone" || event == "otherGone")
                emit hotplug.usbDeviceLeft(event == "gone" ? 0x0451 : 0x0781, 0x16A8);
            else if (event == "internal")
                emit hotplug.volumeMounted({"/mnt/", Kind::Local, true, 0, 0});
            else if (event == "own" || event == "stick")
                emit hotplug.volumeMounted({"/media/d/", Kind::Local, true, 0x0451, quint16(event == "own" ? 0x16A8 : 0x16AA)});
            else
                emit hotplug.volumeMounted({"/media/d/", event == "local" ? Kind::Local : event == "media" ? Kind::Media : Kind::Network});
        }
        QCOMPARE(!cycle.disk().isEmpty(), diskAtHand);
        QCOMPARE(gone.count(), events.contains("gone ") || events.endsWith(" gone") ? 1 : 0);
    }
    void resetThenBurn()
    {
        SimulatedBand band;
        QVERIFY(band.plugIn());
        SimulatedHotplugSource hotplug(&band);
        hotplug.setFirmwareName(kNames.binName);
        QVERIFY(hotplug.start());
        BurnController cycle(&hotplug, &band);
        RecordStore store;
        QStringList records;
        cycle.setRecordStore(&store);
        cycle.setRecordKeeper([&records](RunRecord &record, const BurnReport &) { records << outcomeName(record.outcome); });
        cycle.watchDisks();
        QSignalSpy reset(&cycle, &BurnController::resetDone);
        QSignalSpy disk(&cycle, &BurnController::diskReady);
        cycle.reset(band.devicePath({}), band.usbLocation(), kSlowMs);
        QVERIFY(cycle.isResetting());
        QVERIFY(reset.wait(kSlowMs));
        QCOMPARE(reset.first().first().value<UpgradeResult>(), UpgradeResult::Sent);
        QVERIFY(cycle.awaitsDisk());
        QVERIFY(disk.wait(kSlowMs));
        QVERIFY(!cycle.awaitsDisk());
        QVERIFY(records.isEmpty()); // a Reset alone is no run
        BurnCycleOptions options;
        options.files = kNames;
        options.pauseMs = 0;
        QVERIFY(cycle.burn(options));
        const BurnReport report = waitForReport(cycle);
        QVERIFY2(report.outcome == BurnReport::Outcome::Pass, qPrintable(summary(report) + ' ' + report.error));
        QVERIFY(!report.version.isEmpty());
        QCOMPARE(records, QStringList{"pass"});
    }

    // Reset's band never shows its disk: the time-out says so, once.
    void resetDiskNeverAppears()
    {
        SimulatedBand band;
        QVERIFY(band.plugIn());
        FakeHotplug hotplug;
        BurnController cycle(&hotplug, &band);
        QSignalSpy timedOut(&cycle, &BurnController::upgradeTimedOut);
        cycle.reset(band.devicePath({}), band.usbLocation(), 200);
        QVERIFY(timedOut.wait(kSlowMs));
        QCOMPARE(timedOut.count(), 1);
        QVERIFY(cycle.disk().isEmpty());
    }

    // A worker that fails in itself is a failed run with its record, never
    // a run that hangs or vanishes.
    void workerFailing()
    {
        FakeHotplug hotplug;
        BurnController cycle(&hotplug, &noPorts);
        cycle.setLocation("1-1.4.2");
        RecordStore store;
        QList<RunRecord> records;
        cycle.setRecordStore(&store);
        cycle.setRecordKeeper([&records](RunRecord &record, const BurnReport &) { records << record; });
        BurnCycleOptions options;
        options.files = kNames;
        options.upgradePort = 7;
        options.openBand = [](quint8) -> std::unique_ptr<BandChannel> { throw std::runtime_error("no link left"); };
        QVERIFY(cycle.start(options));
        const BurnReport report = waitForReport(cycle);
        QCOMPARE(report.outcome, BurnReport::Outcome::Fail);
        QCOMPARE(report.stage, BurnReport::Stage::Upgrade);
        QCOMPARE(report.error, QString("the upgrade failed: no link left"));
        QCOMPARE(records.size(), 1);
        QCOMPARE(records[0].usbPath, QString("1-1.4.2"));
        QVERIFY(!cycle.isRunning());
    }
};

QTEST_GUILESS_MAIN(BurnCycleTest)
#include "tst_burncycle.moc"

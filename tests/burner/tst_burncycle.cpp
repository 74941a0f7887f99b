// The burner's cycle without a window, as a console program runs it: the
// virtual band through the whole cycle, a given disk folder, and every
// bounded wait and interruption.
#include "burncycle.h"
#include "simulatedband.h"
#include "simulatedhotplugsource.h"

#include <QDir>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

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

BurnReport waitForReport(BurnCycle &cycle, int timeoutMs = kSlowMs)
{
    QSignalSpy finished(&cycle, &BurnCycle::finished);
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
        BurnCycle cycle(&hotplug, &band);
        QSignalSpy stages(&cycle, &BurnCycle::stageChanged);
        BurnCycleOptions options;
        options.files = kNames;
        options.upgradePort = SimulatedBand::kPort;
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
        BurnCycle cycle(nullptr, &noPorts);
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
        BurnCycle cycle(&hotplug, &noPorts);
        BurnCycleOptions options;
        options.files = kNames;
        options.pauseMs = 0;
        options.waitForPort = false;
        options.bandLocation = "1-1.4.2";
        QSignalSpy finished(&cycle, &BurnCycle::finished);
        QSignalSpy waiting(&cycle, &BurnCycle::stageChanged);
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
        BurnCycle cycle(&hotplug, &noPorts);
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
        BurnCycle cycle(&hotplug, &noPorts);
        BurnCycleOptions options;
        options.files = kNames;
        options.pauseMs = 60000;
        connect(&cycle, &BurnCycle::stepStarted, &hotplug, [&hotplug](uint idx) {
            if (idx == 6)
                emit hotplug.usbDeviceLeft(0x0451, 0x16A8);
        });
        QSignalSpy stages(&cycle, &BurnCycle::stageChanged);
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
};

QTEST_GUILESS_MAIN(BurnCycleTest)
#include "tst_burncycle.moc"

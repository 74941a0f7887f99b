// Several bands burned at once, each on its own thread: every band's disk is
// the one in its own USB location, and a band that fails, is pulled out or
// has no known location leaves the others' runs as they would have been.
#include "bandchannel.h"
#include "hotplugatlocation.h"
#include "parallelburn.h"
#include "simulatedhotplugsource.h"
#include "simulatedhub.h"

#include <bandsim/virtualband.h>

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

class FakeHotplug : public HotplugSource {
public:
    bool start() override { return true; }
};

void put(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
}

} // namespace

class ParallelBurnTest : public QObject {
    Q_OBJECT
    QTemporaryDir work;

private slots:
    void initTestCase()
    {
        QVERIFY(QDir::setCurrent(work.path()) && QDir().mkdir("bin"));
        put("bin/band.cfg", "configuration");
        put("bin/band.bin", QByteArray(300000, 'f'));
    }

    // Only what happens in the band's own place reaches its cycle.
    void eventsOfOtherPlacesNeverPass()
    {
        FakeHotplug station;
        HotplugAtLocation here(&station, "1-1.2");
        QSignalSpy arrived(&here, &HotplugSource::usbDeviceArrived);
        QSignalSpy mounted(&here, &HotplugSource::volumeMounted);
        QSignalSpy left(&here, &HotplugSource::usbDeviceLeft);
        emit station.usbDeviceArrived(0x0451, 0x16A8, "1-1.1");
        emit station.usbDeviceArrived(0x0451, 0x16A8, "");
        emit station.usbDeviceArrived(0x0451, 0x16A8, "1-1.2");
        VolumeInfo volume{"/mnt/a/", VolumeInfo::Kind::Local, true, 0x0451, 0x16A8};
        emit station.volumeMounted(volume); // its place unknown
        volume.ownerLocation = "1-1.20";
        emit station.volumeMounted(volume);
        volume.ownerLocation = "1-1.2";
        emit station.volumeMounted(volume);
        emit station.usbDeviceLeft(0x0451, 0x16A8, "1-1.3");
        QCOMPARE(arrived.count(), 1);
        QCOMPARE(mounted.count(), 1);
        QCOMPARE(mounted.first().first().value<VolumeInfo>().rootPath, QString("/mnt/a/"));
        QCOMPARE(left.count(), 0);
    }

    void fiveBandsOneIgnoringTheUpgradeOnePulledOutOneUnplaced()
    {
        SimulatedHub hub(5);
        QVERIFY(hub.plugIn());
        SimulatedHotplugSource hotplug(hub.bands());
        hotplug.setFirmwareName("band.bin");
        hub.band(1).band().setFault(SB_ITEM_UPGRADE, bandsim::Fault::NoAnswer);

        ParallelBurn burn(&hotplug, &hub);
        QSignalSpy finished(&burn, &ParallelBurn::finished);
        // The band of slot 2 is pulled out while its burn pauses.
        connect(&burn, &ParallelBurn::stageChanged, this, [&](int slot, BurnReport::Stage stage) {
            if (slot == 2 && stage == BurnReport::Stage::Burn)
                QTimer::singleShot(100, this, [&] { hotplug.pullOut(2); });
        });
        QList<BurnSlot> places;
        for (int slot = 0; slot < 4; ++slot)
            places.append({hub.band(slot).usbLocation(), hub.band(slot).port()});
        places.append({QString(), hub.band(4).port()}); // its place unknown
        BurnCycleOptions options;
        options.files = {"band.cfg", "band.bin"};
        options.pauseMs = 400;
        options.diskTimeoutMs = 6000;
        options.portTimeoutMs = 10000;
        options.openBand = [&hub](quint8 port) {
            return std::make_unique<LinkChannel>(hub.devicePathOfPort(port).toStdString());
        };
        QVERIFY(burn.start(places, options));
        QVERIFY(!burn.start(places, options)); // one run at a time
        QVERIFY(finished.wait(30000));
        const QList<BurnReport> reports = finished.first().first().value<QList<BurnReport>>();
        QCOMPARE(reports.size(), 5);

        for (int slot : {0, 3}) {
            QVERIFY2(reports[slot].outcome == BurnReport::Outcome::Pass, qPrintable(reports[slot].error));
            QVERIFY(hub.band(slot).isPluggedIn()); // came back after its own burn
        }
        QVERIFY(reports[0].diskRoot != reports[3].diskRoot);
        QCOMPARE(reports[1].outcome, BurnReport::Outcome::Fail);
        QCOMPARE(reports[1].stage, BurnReport::Stage::DiskWait); // it never went into upgrade mode
        QVERIFY(hub.band(1).isPluggedIn());
        QCOMPARE(reports[2].outcome, BurnReport::Outcome::Interrupted);
        QCOMPARE(reports[2].stage, BurnReport::Stage::Burn);
        QCOMPARE(reports[4].outcome, BurnReport::Outcome::Fail);
        QVERIFY(reports[4].error.contains("USB location is unknown"));
        QVERIFY(hub.band(4).isPluggedIn()); // never sent into upgrade mode

        // Each band's run.log lines name its place.
        QFile log("run.log");
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(log.readAll());
        for (const QString &line : text.split('\n', Qt::SkipEmptyParts))
            QVERIFY2(QRegularExpression(R"(^(\[[-_:0-9]+\] |\t\[[:0-9]+\])\[1-1\.[1-4]\] )").match(line).hasMatch(), qPrintable(line));
        QCOMPARE(text.count("[1-1.1] Succeed to copy band.bin"), 1);
        QCOMPARE(text.count("[1-1.4] Succeed to copy band.bin"), 1);
        QCOMPARE(text.count("[1-1.2] "), 0);
        QCOMPARE(text.count("[1-1.3] Succeed to copy band.bin"), 0);
    }
};

QTEST_GUILESS_MAIN(ParallelBurnTest)
#include "tst_parallelburn.moc"

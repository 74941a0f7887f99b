// Which disk the burner takes as the band's: by USB ids, and by the place
// the band was plugged in when it was reset.
#include "banddiskwatch.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

class FakeHotplug : public HotplugSource {
public:
    bool start() override { return true; }
    void bandDiskArrives(const QString &location) { emit usbDeviceArrived(0x0451, 0x16A8, location); }
    void bandDiskLeaves(const QString &location) { emit usbDeviceLeft(0x0451, 0x16A8, location); }
    void mount(bool ownerKnown, const QString &location)
    {
        VolumeInfo volume{"/media/op/DISK/", VolumeInfo::Kind::Local, ownerKnown};
        if (ownerKnown) {
            volume.ownerVendorId = 0x0451;
            volume.ownerProductId = 0x16A8;
            volume.ownerLocation = location;
        }
        emit volumeMounted(volume);
    }
};

} // namespace

class BandDiskWatchTest : public QObject {
    Q_OBJECT
private slots:
    void takesOnlyTheResetBandsDisk_data()
    {
        QTest::addColumn<QString>("band");       // where the reset band was; empty: unknown
        QTest::addColumn<QString>("arrivedAt");  // the band device that arrived
        QTest::addColumn<bool>("ownerKnown");    // of the mounted volume
        QTest::addColumn<QString>("diskAt");     // the volume's owner
        QTest::addColumn<bool>("taken");
        QTest::newRow("its own disk") << "1-1.4.2" << "1-1.4.2" << true << "1-1.4.2" << true;
        QTest::newRow("a neighbour's disk") << "1-1.4.2" << "1-1.4.2" << true << "1-1.4.3" << false;
        QTest::newRow("only a neighbour arrived") << "1-1.4.2" << "1-1.4.3" << true << "1-1.4.3" << false;
        QTest::newRow("disk's place unknown") << "1-1.4.2" << "1-1.4.2" << true << "" << false;
        QTest::newRow("disk's owner unknown") << "1-1.4.2" << "1-1.4.2" << false << "" << false;
        QTest::newRow("no places (virtual band)") << "" << "" << true << "" << true;
        QTest::newRow("no places, owner unknown") << "" << "" << false << "" << true;
        QTest::newRow("band's place unknown") << "" << "1-1.4.3" << true << "1-1.4.3" << true;
        QTest::newRow("band's place unknown, another band's disk") << "" << "1-1.4.2" << true << "1-1.4.3" << false;
    }

    void takesOnlyTheResetBandsDisk()
    {
        QFETCH(QString, band);
        QFETCH(QString, arrivedAt);
        QFETCH(bool, ownerKnown);
        QFETCH(QString, diskAt);
        QFETCH(bool, taken);
        FakeHotplug hotplug;
        BandDiskWatch watch(&hotplug);
        QSignalSpy disks(&watch, &BandDiskWatch::diskMounted);
        watch.setBandLocation(band);
        hotplug.bandDiskArrives(arrivedAt);
        hotplug.mount(ownerKnown, diskAt);
        QCOMPARE(disks.size(), taken ? 1 : 0);
    }

    void aNeighbourLeavingKeepsTheBand()
    {
        FakeHotplug hotplug;
        BandDiskWatch watch(&hotplug);
        QSignalSpy removed(&watch, &BandDiskWatch::bandRemoved);
        watch.setBandLocation("1-1.4.2");
        hotplug.bandDiskArrives("1-1.4.3");
        hotplug.bandDiskArrives("1-1.4.2");
        hotplug.bandDiskLeaves("1-1.4.3");
        QCOMPARE(removed.size(), 0);
        QVERIFY(watch.bandSeen());
        hotplug.bandDiskLeaves("1-1.4.2");
        QCOMPARE(removed.size(), 1);
        QVERIFY(!watch.bandSeen());

        // Without places, any band disk leaving is the band's, as before.
        watch.setBandLocation({});
        hotplug.bandDiskArrives({});
        hotplug.bandDiskLeaves({});
        QCOMPARE(removed.size(), 2);
    }

    // The band restarts elsewhere than where a band device was seen before the reset.
    void aResetElsewhereForgetsTheDeviceSeen()
    {
        FakeHotplug hotplug;
        BandDiskWatch watch(&hotplug);
        QSignalSpy disks(&watch, &BandDiskWatch::diskMounted);
        hotplug.bandDiskArrives("1-1.4.3");
        watch.setBandLocation("1-1.4.2");
        QVERIFY(!watch.bandSeen());
        hotplug.mount(true, "1-1.4.3");
        QCOMPARE(disks.size(), 0);
    }
};

QTEST_GUILESS_MAIN(BandDiskWatchTest)
#include "tst_banddiskwatch.moc"

// The libudev monitors against events from umockdev's test bed: the port
// watcher's tty monitor, the burner's hot-plug source with the USB location
// of each device and disk, and two bands whose disks come back in reverse
// order, each taken by its own band.
#include "usbtestbed.h"

#include "banddiskwatch.h"
#include "comthread.h"
#include "portsource.h"
#include "ttymonitor.h"
#include "ttyusbplace.h"
#include "udevhotplugsource.h"

#include <QSignalSpy>
#include <QTemporaryFile>
#include <QtTest>

namespace {

// The mount table the hot-plug source reads, grown a line at a time.
class MountTable {
public:
    MountTable() { file.open(); }
    QString path() const { return file.fileName(); }
    void mount(const FakeDevice &disk, const QString &point)
    {
        text += QStringLiteral("%1 25 %2 / %3 rw - vfat /dev/x rw\n").arg(++id).arg(disk.devnum.c_str(), point);
        QFile rewrite(file.fileName());
        rewrite.open(QIODevice::WriteOnly | QIODevice::Truncate);
        rewrite.write(text.toUtf8());
    }

private:
    QTemporaryFile file;
    QString text;
    int id = 40;
};

} // namespace

class HotplugTest : public QObject {
    Q_OBJECT
private slots:
    void portWatcherSeesThePlugAtOnce()
    {
        REQUIRE_TEST_BED();
        UsbTestBed bed;
        QObject context;
        TtyMonitor *monitor = TtyMonitor::create(&context);
        QVERIFY(monitor);
        QSignalSpy changes(monitor, &TtyMonitor::changed);
        // Polled once a minute: only the event can make it see the band soon.
        const SystemPortSource ports;
        CComThread watcher(nullptr, &ports);
        watcher.setPollInterval(60000);
        QSignalSpy connected(&watcher, &CComThread::SBConnected);
        watcher.start();

        const FakeDevice band = bed.addSerialBand("1-1.4.2", "BAND0001", 0);
        QTRY_COMPARE_WITH_TIMEOUT(changes.size(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(connected.size(), 1, 10000);
        QCOMPARE(connected.at(0).at(0).toBool(), true);
        QCOMPARE(watcher.usbLocation(), QString("1-1.4.2"));

        bed.unplug(band);
        QTRY_COMPARE_WITH_TIMEOUT(changes.size(), 2, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(connected.size(), 2, 10000);
        QCOMPARE(connected.at(1).at(0).toBool(), false);
        QVERIFY(watcher.usbLocation().isEmpty());
    }

    void devicesAndVolumesCarryTheirLocation()
    {
        REQUIRE_TEST_BED();
        UsbTestBed bed;
        MountTable mounts;
        UdevHotplugSource source(nullptr, mounts.path());
        QVERIFY(source.start());
        QSignalSpy arrived(&source, &HotplugSource::usbDeviceArrived);
        QSignalSpy left(&source, &HotplugSource::usbDeviceLeft);
        QSignalSpy volumes(&source, &HotplugSource::volumeMounted);

        const FakeDevice disk = bed.addDiskBand("1-1.4.3", "BAND0003", 'c');
        QTRY_COMPARE_WITH_TIMEOUT(arrived.size(), 1, 10000); // the usb_device alone, not its interface
        QCOMPARE(arrived.at(0), QVariantList({quint16(0x0451), quint16(0x16A8), QString("1-1.4.3")}));

        mounts.mount(disk, "/media/op/BAND");
        source.rescanMounts();
        QCOMPARE(volumes.size(), 1);
        const VolumeInfo volume = volumes.at(0).at(0).value<VolumeInfo>();
        QCOMPARE(volume.rootPath, QString("/media/op/BAND/"));
        QVERIFY(volume.ownerKnown);
        QCOMPARE(volume.ownerVendorId, quint16(0x0451));
        QCOMPARE(volume.ownerProductId, quint16(0x16A8));
        QCOMPARE(volume.ownerLocation, QString("1-1.4.3"));
        QCOMPARE(volume.ownerSerial, QString("BAND0003"));

        bed.unplug(disk);
        QTRY_COMPARE_WITH_TIMEOUT(left.size(), 1, 10000);
        QCOMPARE(left.at(0), QVariantList({quint16(0x0451), quint16(0x16A8), QString("1-1.4.3")}));
    }

    void twoBandsDisksInReverseOrder()
    {
        REQUIRE_TEST_BED();
        UsbTestBed bed;
        MountTable mounts;
        UdevHotplugSource source(nullptr, mounts.path());
        QVERIFY(source.start());

        // Each band is reset from its serial port, whose place is known.
        const FakeDevice serialA = bed.addSerialBand("1-1.4.2", "BAND0002", 0);
        const FakeDevice serialB = bed.addSerialBand("1-1.4.3", "BAND0003", 1);
        BandDiskWatch watchA(&source);
        BandDiskWatch watchB(&source);
        watchA.setBandLocation(usbPlaceOfTty("ttyACM0").location);
        watchB.setBandLocation(usbPlaceOfTty("ttyACM1").location);
        QSignalSpy disksA(&watchA, &BandDiskWatch::diskMounted);
        QSignalSpy disksB(&watchB, &BandDiskWatch::diskMounted);
        QSignalSpy goneA(&watchA, &BandDiskWatch::bandRemoved);
        QSignalSpy goneB(&watchB, &BandDiskWatch::bandRemoved);

        // Both restart as disks in their ports: B's comes first, then an
        // operator's stick, then A's.
        bed.unplug(serialA);
        bed.unplug(serialB);
        const FakeDevice diskB = bed.addDiskBand("1-1.4.3", "BAND0003", 'c');
        QTRY_VERIFY_WITH_TIMEOUT(watchB.bandSeen(), 10000);
        QVERIFY(!watchA.bandSeen());
        mounts.mount(diskB, "/media/op/B");
        source.rescanMounts();
        const FakeDevice stick = bed.addOtherDisk("1-1.4.4", 'd');
        mounts.mount(stick, "/media/op/STICK");
        source.rescanMounts();
        const FakeDevice diskA = bed.addDiskBand("1-1.4.2", "BAND0002", 'b');
        QTRY_VERIFY_WITH_TIMEOUT(watchA.bandSeen(), 10000);
        mounts.mount(diskA, "/media/op/A");
        source.rescanMounts();

        QCOMPARE(disksA.size(), 1);
        QCOMPARE(disksA.at(0).at(0).toString(), QString("/media/op/A/"));
        QCOMPARE(disksB.size(), 1);
        QCOMPARE(disksB.at(0).at(0).toString(), QString("/media/op/B/"));

        // B leaving takes only B's disk away.
        bed.unplug(diskB);
        QTRY_COMPARE_WITH_TIMEOUT(goneB.size(), 1, 10000);
        QCOMPARE(goneA.size(), 0);
        QVERIFY(watchA.bandSeen());
    }
};

QTEST_GUILESS_MAIN(HotplugTest)
#include "tst_hotplug.moc"

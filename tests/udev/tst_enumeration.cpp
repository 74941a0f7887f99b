// The band's ports and disks as udev lists them, in umockdev's test bed: a
// hub with bands in normal and upgrade mode and an operator's USB stick.
#include "usbtestbed.h"

#include "bandctlrunner.h"
#include "bandports.h"
#include "portsource.h"
#include "ttyusbplace.h"
#include "upgradedisks.h"

#include <QTemporaryFile>
#include <QtTest>

// bandctl, started from here, runs in the same test bed: the preload library
// and the bed's folder are in the environment it inherits.
class EnumerationTest : public QObject {
    Q_OBJECT
private slots:
    void serialPortsKnowTheirLocation()
    {
        REQUIRE_TEST_BED();
        UsbTestBed bed;
        bed.addSerialBand("1-1.4.2", "BAND0001", 0);
        bed.addSerialBand("1-1.4.3", "", 1);

        const UsbPlace first = usbPlaceOfTty("ttyACM0");
        QCOMPARE(first.location, QString("1-1.4.2")); // the usb_device, not its interface 1-1.4.2:1.0
        QCOMPARE(first.serialNumber, QString("BAND0001"));
        QCOMPARE(usbPlaceOfTty("ttyACM1").location, QString("1-1.4.3"));
        QVERIFY(usbPlaceOfTty("ttyACM1").serialNumber.isEmpty());
        QVERIFY(usbPlaceOfTty("ttyACM7").location.isEmpty());

        // Qt's port list reads udev too, and works in the test bed: the
        // system source gives each band port its place.
        const QList<BandPort> bands = bandPortsIn(SystemPortSource().availablePorts());
        QCOMPARE(bands.size(), 2);
        std::map<int, SerialPortEntry> byNumber;
        for (const BandPort &band : bands)
            byNumber[band.number] = band.entry;
        QCOMPARE(byNumber[0].usbLocation, QString("1-1.4.2"));
        QCOMPARE(byNumber[0].serialNumber, QString("BAND0001"));
        QCOMPARE(byNumber[1].usbLocation, QString("1-1.4.3"));
    }

    void upgradeDisksWithLocationAndMount()
    {
        REQUIRE_TEST_BED();
        UsbTestBed bed;
        bed.addSerialBand("1-1.4.1", "BAND0000", 0);
        // A band restarting as a disk in the same port keeps its place.
        const FakeDevice serial = bed.addSerialBand("1-1.4.2", "BAND0001", 1);
        QCOMPARE(usbPlaceOfTty("ttyACM1").location, QString("1-1.4.2"));
        bed.unplug(serial);
        const FakeDevice first = bed.addDiskBand("1-1.4.2", "BAND0001", 'b');
        bed.addDiskBand("1-1.4.3", "", 'c');
        const FakeDevice stick = bed.addOtherDisk("1-1.4.4", 'd');
        QTemporaryFile mountInfo;
        QVERIFY(mountInfo.open());
        mountInfo.write(QByteArray("36 25 ") + first.devnum.c_str() + " / /media/op/BAND rw - vfat /dev/sdb1 rw\n"
                        + "37 25 " + stick.devnum.c_str() + " / /media/op/STICK rw - vfat /dev/sdd1 rw\n");
        mountInfo.flush();

        // Only the bands' disks; a mounted one by its partition, one not
        // mounted yet by its disk.
        QList<UpgradeDisk> disks = upgradeDisks(mountInfo.fileName());
        std::sort(disks.begin(), disks.end(),
                  [](const UpgradeDisk &a, const UpgradeDisk &b) { return a.usbLocation < b.usbLocation; });
        QCOMPARE(disks.size(), 2);
        QCOMPARE(disks[0].usbLocation, QString("1-1.4.2"));
        QCOMPARE(disks[0].serialNumber, QString("BAND0001"));
        QCOMPARE(disks[0].blockDevice, QString("/dev/sdb1"));
        QCOMPARE(disks[0].mountPoint, QString("/media/op/BAND"));
        QCOMPARE(disks[1].usbLocation, QString("1-1.4.3"));
        QVERIFY(disks[1].serialNumber.isEmpty());
        QCOMPARE(disks[1].blockDevice, QString("/dev/sdc"));
        QVERIFY(disks[1].mountPoint.isEmpty());
    }

    void bandctlListAndChoice()
    {
        REQUIRE_TEST_BED();
        UsbTestBed bed;
        bed.addSerialBand("1-1.4.1", "BAND0000", 0);
        bed.addDiskBand("1-1.4.2", "BAND0001", 'b');
        bed.addOtherDisk("1-1.4.4", 'd');

        BandctlRun run = runBandctl({"list", "--json"});
        QCOMPARE(run.exitCode, 0);
        const QList<QJsonObject> bands = run.json();
        QCOMPARE(bands.size(), 2);
        QCOMPARE(bands[0]["mode"].toString(), QString("serial"));
        QCOMPARE(bands[0]["port"].toInt(), 0);
        QCOMPARE(bands[0]["usb_path"].toString(), QString("1-1.4.1"));
        QCOMPARE(bands[0]["serial"].toString(), QString("BAND0000"));
        QCOMPARE(bands[1]["mode"].toString(), QString("upgrade"));
        QCOMPARE(bands[1]["device"].toString(), QString("/dev/sdb"));
        QCOMPARE(bands[1]["usb_path"].toString(), QString("1-1.4.2"));
        QCOMPARE(bands[1]["serial"].toString(), QString("BAND0001"));

        run = runBandctl({"list"});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.contains("usb_path: 1-1.4.1") && run.out.contains("usb_path: 1-1.4.2"), run.out);

        run = runBandctl({"list", "--usb-path", "1-1.4.2", "--json"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.json().size(), 1);
        QCOMPARE(run.json()[0]["mode"].toString(), QString("upgrade"));

        // No band there: nothing is sent anywhere, exit 3.
        run = runBandctl({"reset", "--usb-path", "1-1.4.9"});
        QCOMPARE(run.exitCode, 3);
        QVERIFY2(run.err.contains("no band on a serial port at USB location 1-1.4.9"), run.err);
        run = runBandctl({"list", "--usb-path", "1-1.4.4"});
        QCOMPARE(run.exitCode, 3);
    }
};

QTEST_GUILESS_MAIN(EnumerationTest)
#include "tst_enumeration.moc"

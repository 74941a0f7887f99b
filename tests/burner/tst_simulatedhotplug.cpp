// Several virtual bands sent into upgrade mode at once: each one's USB
// device and disk arrive in its own place, with a disk of its own, and a
// burnt image brings just that band back on its port.
#include "simulatedhotplugsource.h"
#include "simulatedhub.h"

#include <bandsim/virtualband.h>

#include <QFile>
#include <QSignalSpy>
#include <QtTest>

class SimulatedHotplugTest : public QObject {
    Q_OBJECT

private slots:
    void eachBandsDiskInItsOwnPlace()
    {
        constexpr int kBands = 4;
        SimulatedHub hub(kBands);
        QVERIFY(hub.plugIn());
        SimulatedHotplugSource hotplug(hub.bands());
        hotplug.setFirmwareName("band.bin");
        QVERIFY(hotplug.start());
        QSignalSpy arrived(&hotplug, &HotplugSource::usbDeviceArrived);
        QSignalSpy mounted(&hotplug, &HotplugSource::volumeMounted);
        QSignalSpy left(&hotplug, &HotplugSource::usbDeviceLeft);

        for (int slot = 0; slot < kBands; ++slot) {
            sb_link *link = sb_link_open(hub.band(slot).band().devicePath().c_str());
            QVERIFY(link);
            QVERIFY(sb_link_upgrade(link));
            sb_link_close(link);
        }
        QTRY_COMPARE_WITH_TIMEOUT(mounted.count(), kBands, 10000);
        QCOMPARE(arrived.count(), kBands);
        QVERIFY(hub.availablePorts().isEmpty());
        QSet<QString> places;
        QSet<QString> roots;
        for (const QList<QVariant> &signal : mounted) {
            const VolumeInfo volume = signal.first().value<VolumeInfo>();
            QVERIFY(volume.ownerKnown && volume.ownerProductId == 0x16A8);
            places.insert(volume.ownerLocation);
            roots.insert(volume.rootPath);
        }
        QCOMPARE(places, (QSet<QString>{"1-1.1", "1-1.2", "1-1.3", "1-1.4"}));
        QCOMPARE(roots.size(), kBands);
        for (int slot = 0; slot < kBands; ++slot)
            QVERIFY(roots.contains(hotplug.diskRoot(slot)));

        // Only the band whose disk got its image comes back.
        QFile image(hotplug.diskRoot(2) + "band.bin");
        QVERIFY(image.open(QIODevice::WriteOnly) && image.write("image") == 5);
        image.close();
        QTRY_COMPARE_WITH_TIMEOUT(left.count(), 1, 10000);
        QCOMPARE(left.first().at(2).toString(), QString("1-1.3"));
        QCOMPARE(hub.availablePorts().size(), 1);
        QCOMPARE(hub.availablePorts().first().usbLocation, QString("1-1.3"));
        QVERIFY(hotplug.diskRoot(2).isEmpty() && !hotplug.diskRoot(0).isEmpty());
    }
};

QTEST_GUILESS_MAIN(SimulatedHotplugTest)
#include "tst_simulatedhotplug.moc"

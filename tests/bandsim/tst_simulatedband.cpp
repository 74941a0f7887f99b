// The virtual band wired into a program: its port comes and goes, and
// bandlink reaches it through port kPort.
#include <simulatedband.h>
#include <simulatedhub.h>

#include <bandlink.h>
#include <bandsim/virtualband.h>

#include <QSignalSpy>
#include <QTest>

class TestSimulatedBand : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { sb_exit(); }

    void portAppearsAndBandlinkReachesTheBand()
    {
        SimulatedBand simulated;
        QVERIFY(simulated.availablePorts().isEmpty());
        QVERIFY(simulated.plugIn());

        const QList<SerialPortEntry> ports = simulated.availablePorts();
        QCOMPARE(ports.size(), 1);
        QCOMPARE(ports[0].portName, QStringLiteral("ttyACM200"));
        QVERIFY(ports[0].hasUsbIds);
        QCOMPARE(ports[0].vendorId, quint16(0x0451));
        QCOMPARE(ports[0].productId, quint16(0x16AA));
        QCOMPARE(ports[0].usbLocation, QStringLiteral("1-1.1"));

        QVERIFY(sb_init(SimulatedBand::kPort));
        sb_version_t version{};
        QVERIFY(sb_getVersion(&version));
        QCOMPARE(version.version[3], quint8(4));

        simulated.unplug();
        QVERIFY(simulated.availablePorts().isEmpty());
    }

    void restartedBandComesBack()
    {
        SimulatedBand simulated;
        simulated.setReplugDelayAfterReset(50);
        QSignalSpy restarted(&simulated, &SimulatedBand::restarted);
        QVERIFY(simulated.plugIn());
        QVERIFY(sb_init(SimulatedBand::kPort));
        QVERIFY(sb_reset());
        sb_exit();

        QTRY_COMPARE(restarted.count(), 1);
        QTRY_COMPARE(simulated.availablePorts().size(), 1);
        QVERIFY(sb_init(SimulatedBand::kPort));
        sb_version_t version{};
        QVERIFY(sb_getVersion(&version));
    }

    void upgradeAndDeliberateUnplugStayOut_data()
    {
        QTest::addColumn<bool>("upgrade");
        QTest::newRow("upgrade") << true;
        QTest::newRow("unplugged after reset") << false;
    }
    void upgradeAndDeliberateUnplugStayOut()
    {
        QFETCH(bool, upgrade);
        SimulatedBand simulated;
        simulated.setReplugDelayAfterReset(50);
        QSignalSpy restarted(&simulated, &SimulatedBand::restarted);
        QSignalSpy upgraded(&simulated, &SimulatedBand::enteredUpgradeMode);
        QVERIFY(simulated.plugIn());
        QVERIFY(sb_init(SimulatedBand::kPort));
        QVERIFY(upgrade ? sb_upgrade() : sb_reset());
        sb_exit();

        QTRY_COMPARE(upgrade ? upgraded.count() : restarted.count(), 1);
        if (!upgrade)
            simulated.unplug(); // before the replug delay is up
        QTest::qWait(300);
        QVERIFY(!simulated.isPluggedIn());
        QVERIFY(simulated.availablePorts().isEmpty());
    }

    void bandThatDropsOffLeavesThePortList()
    {
        SimulatedBand simulated;
        QVERIFY(simulated.plugIn());
        simulated.band().setFault(SB_ITEM_VERSION, bandsim::Fault::DropsOffAfterAnswer);
        QVERIFY(sb_init(SimulatedBand::kPort));
        sb_version_t version{};
        QVERIFY(sb_getVersion(&version));
        QTRY_VERIFY(simulated.availablePorts().isEmpty());
    }

    // A hub of bands: each in its own place, on its own port and terminal,
    // reached through its own link; one pulled out leaves the others.
    void hubOfBandsEachInItsOwnPlace()
    {
        SimulatedHub hub(3);
        QSignalSpy changes(&hub, &SimulatedHub::portsChanged);
        QVERIFY(hub.plugIn());
        QCOMPARE(changes.count(), 3);
        const QList<SerialPortEntry> ports = hub.availablePorts();
        QCOMPARE(ports.size(), 3);
        QSet<std::string> paths;
        for (int slot = 0; slot < 3; ++slot) {
            QCOMPARE(ports[slot].portName, QStringLiteral("ttyACM%1").arg(200 + slot));
            QCOMPARE(ports[slot].usbLocation, QStringLiteral("1-1.%1").arg(slot + 1));
            QCOMPARE(hub.band(slot).port(), quint8(200 + slot));
            paths.insert(hub.band(slot).band().devicePath());
        }
        QCOMPARE(paths.size(), 3);

        hub.band(1).band().setFault(SB_ITEM_VERSION, bandsim::Fault::NoAnswer);
        for (int slot = 0; slot < 3; ++slot) {
            sb_link *link = sb_link_open(hub.band(slot).band().devicePath().c_str());
            QVERIFY(link);
            sb_version_t version{};
            QCOMPARE(sb_link_getVersion(link, &version), slot != 1);
            sb_link_close(link);
        }
        QVERIFY(sb_init(quint8(SimulatedBand::kPort + 2))); // the port number leads to slot 2's band
        sb_version_t version{};
        QVERIFY(sb_getVersion(&version));

        hub.band(0).unplug();
        QCOMPARE(hub.availablePorts().size(), 2);
        QCOMPARE(hub.availablePorts().first().usbLocation, QStringLiteral("1-1.2"));
    }
};

QTEST_GUILESS_MAIN(TestSimulatedBand)
#include "tst_simulatedband.moc"

// The slot manager against a hub of real virtual bands: hot-plug orders,
// pull-outs, runs' ends and the tester's and the burner's policies, each
// scenario a script and the slots it must leave.
#include "bandhub.h"
#include "slotmanager.h"

#include <QSignalSpy>
#include <QTest>

namespace {

enum class Policy { Tester, Burner };

// One letter a slot: - empty, R ready, U running, P passed, F failed;
// a '*' after it when it may start.
QString statesOf(const SlotManager &manager)
{
    QStringList shown;
    for (int slot = 0; slot < manager.size(); ++slot) {
        static const char letters[] = {'-', 'R', 'U', 'P', 'F'};
        QString s(QLatin1Char(letters[int(manager.state(slot))]));
        if (manager.mayStart(slot))
            s += QLatin1Char('*');
        shown << s;
    }
    return shown.join(QLatin1Char(' '));
}

} // namespace

class TestSlotManager : public QObject {
    Q_OBJECT
private slots:
    void scenarios_data()
    {
        QTest::addColumn<Policy>("policy");
        QTest::addColumn<bool>("autostart");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("states");
        QTest::addColumn<int>("startsDue");
        QTest::addColumn<int>("unplaced");

        QTest::newRow("arrival order takes slots in turn") << Policy::Tester << false << "in 2; in 0; in 1" << "R* R* R*" << 0 << 0;
        QTest::newRow("a band back in its port gets its slot") << Policy::Tester << false
            << "in 0; in 1; out 0; out 1; in 1" << "- R* -" << 0 << 0;
        QTest::newRow("its old slot taken: the first free") << Policy::Tester << false
            << "in 0; out 0; in 1; in 0" << "R* R* -" << 0 << 0;
        QTest::newRow("more bands than slots") << Policy::Tester << false << "in 0; in 1; in 2; in 3" << "R* R* R*" << 0 << 1;
        QTest::newRow("autostart starts each arrival") << Policy::Tester << true << "in 0; in 1" << "R* R*" << 2 << 0;
        QTest::newRow("no autostart while the station is unusable") << Policy::Tester << true
            << "problem; in 0; in 1" << "R R" << 0 << 0;
        QTest::newRow("a fixed station may start again") << Policy::Tester << false
            << "problem; in 0; nostart 0; fixed; start 0" << "U" << 0 << 0;
        QTest::newRow("a running band's leave waits for its end") << Policy::Tester << false
            << "in 0; start 0; out 0" << "U" << 0 << 0;
        QTest::newRow("pulled out mid-run: freed at its end") << Policy::Tester << false
            << "in 0; start 0; out 0; gone 0" << "-" << 0 << 0;
        QTest::newRow("tester: a failure stays while its band does") << Policy::Tester << false
            << "in 0; start 0; fail 0" << "F*" << 0 << 0;
        QTest::newRow("tester: a failed band's leave frees its slot") << Policy::Tester << false
            << "in 0; start 0; fail 0; out 0" << "-" << 0 << 0;
        QTest::newRow("tester: restarting after a pass, not startable") << Policy::Tester << false
            << "in 0; start 0; pass 0; nostart 0; out 0" << "P" << 0 << 0;
        QTest::newRow("tester: back from its restart, result stays") << Policy::Tester << true
            << "in 0; start 0; pass 0; out 0; in 0" << "P*" << 1 << 0;
        QTest::newRow("tester: not back in time: taken away") << Policy::Tester << false
            << "in 0; start 0; pass 0; out 0; wait; in 1" << "R*" << 0 << 0;
        QTest::newRow("tester: passed while gone, back in time") << Policy::Tester << false
            << "in 0; start 0; out 0; pass 0; in 0" << "P*" << 0 << 0;
        QTest::newRow("burner: a pass is not burned again") << Policy::Burner << false
            << "in 0; start 0; pass 0; nostart 0" << "P" << 0 << 0;
        QTest::newRow("burner: a failure may be burned again") << Policy::Burner << false
            << "in 0; start 0; fail 0; start 0" << "U" << 0 << 0;
        QTest::newRow("burner: its disk keeps the slot while the port is gone") << Policy::Burner << false
            << "in 0; start 0; out 0; disk+ 0; fail 0" << "F" << 0 << 0;
        QTest::newRow("burner: port and disk gone after a failure: it stays") << Policy::Burner << false
            << "in 0; start 0; out 0; fail 0" << "F" << 0 << 0;
        QTest::newRow("burner: the disk leaves after its port: freed") << Policy::Burner << false
            << "in 0; start 0; out 0; disk+ 0; fail 0; disk- 0" << "-" << 0 << 0;
        QTest::newRow("burner: pulled out mid-run: freed") << Policy::Burner << false
            << "in 0; start 0; out 0; gone 0" << "-" << 0 << 0;
        QTest::newRow("burner: passed band unplugged: freed") << Policy::Burner << false
            << "in 0; in 1; start 0; pass 0; out 0" << "- R*" << 0 << 0;
    }

    void scenarios()
    {
        QFETCH(Policy, policy);
        QFETCH(bool, autostart);
        QFETCH(QString, script);
        QFETCH(QString, states);
        QFETCH(int, startsDue);
        QFETCH(int, unplaced);

        BandHub hub(4);
        const int slotCount = states.count(QLatin1Char(' ')) + 1;
        SlotManager manager(slotCount);
        manager.setAutostart(autostart);
        constexpr int kReturnMs = 100;
        if (policy == Policy::Tester) {
            manager.setRestartAfterPass(kReturnMs);
        } else {
            manager.setPassedMayStart(false);
            manager.setFailureStaysWhenGone(true);
        }
        QSignalSpy due(&manager, &SlotManager::startDue);
        manager.startWatching(&hub, 60000);

        for (const QString &step : script.split(QStringLiteral("; "))) {
            const QStringList words = step.split(QLatin1Char(' '));
            const QString verb = words.first();
            const int n = words.value(1).toInt();
            if (verb == QLatin1String("in"))
                QVERIFY(hub.plugIn(n));
            else if (verb == QLatin1String("out"))
                hub.pullOut(n);
            else if (verb == QLatin1String("start"))
                QVERIFY2(manager.start(n), qPrintable(step));
            else if (verb == QLatin1String("nostart"))
                QVERIFY2(!manager.start(n), qPrintable(step));
            else if (verb == QLatin1String("pass"))
                manager.finish(n, SlotManager::Outcome::Pass);
            else if (verb == QLatin1String("fail"))
                manager.finish(n, SlotManager::Outcome::Fail);
            else if (verb == QLatin1String("gone"))
                manager.finish(n, SlotManager::Outcome::Interrupted);
            else if (verb == QLatin1String("disk+") || verb == QLatin1String("disk-"))
                manager.setDiskPresent(BandHub::locationOf(n), verb.endsWith(QLatin1Char('+')));
            else if (verb == QLatin1String("problem"))
                manager.setStationProblem(QStringLiteral("def.xml"));
            else if (verb == QLatin1String("fixed"))
                manager.setStationProblem(QString());
            else if (verb == QLatin1String("wait"))
                QTest::qWait(kReturnMs * 2); // the return's time-out has to pass
            else
                QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
            manager.rescan();
        }
        QCOMPARE(statesOf(manager), states);
        QCOMPARE(due.count(), startsDue);
        QCOMPARE(manager.unplaced(), unplaced);
    }

    // A station fixed while the window is open may start its bands again.
    void stationCheckedAtEachLook()
    {
        BandHub hub(1);
        SlotManager manager(1);
        QString problem = QStringLiteral("station.ini");
        manager.setStationCheck([&problem] { return problem; });
        manager.startWatching(&hub, 60000);
        QVERIFY(hub.plugIn(0));
        manager.rescan();
        QVERIFY(!manager.mayStart(0));
        QCOMPARE(manager.stationProblem(), problem);
        problem.clear();
        manager.rescan();
        QVERIFY(manager.mayStart(0));
    }

    // Signals a window paints by, and the result line above the panels.
    void arrivalsFreesAndResults()
    {
        BandHub hub(2);
        SlotManager manager(2);
        QSignalSpy arrived(&manager, &SlotManager::bandArrived);
        QSignalSpy freed(&manager, &SlotManager::slotFreed);
        manager.startWatching(&hub, 60000);
        QVERIFY(!manager.everyBandHasItsResult());
        QVERIFY(hub.plugIn(0));
        QVERIFY(hub.plugIn(1));
        manager.rescan();
        QCOMPARE(arrived.count(), 2);
        QCOMPARE(manager.location(1), BandHub::locationOf(1));
        QVERIFY(manager.isListed(BandHub::locationOf(1)));
        QCOMPARE(manager.devicePath(0), QString::fromStdString(hub.band(0).devicePath()));
        QVERIFY(manager.anyReady());
        QVERIFY(manager.start(0) && manager.start(1));
        QVERIFY(!manager.anyReady());
        manager.finish(0, SlotManager::Outcome::Pass);
        QVERIFY(!manager.everyBandHasItsResult());
        manager.finish(1, SlotManager::Outcome::Fail);
        bool allPassed = true;
        QVERIFY(manager.everyBandHasItsResult(&allPassed));
        QVERIFY(!allPassed);
        hub.pullOut(1);
        manager.rescan();
        QCOMPARE(freed.count(), 1);
        QCOMPARE(freed.first().first().toInt(), 1);
        QVERIFY(!manager.isListed(BandHub::locationOf(1)));
        QVERIFY(manager.everyBandHasItsResult(&allPassed));
        QVERIFY(allPassed);
    }
};

QTEST_MAIN(TestSlotManager)
#include "tst_slotmanager.moc"

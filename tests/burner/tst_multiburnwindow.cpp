// The burner with a panel per band, against a hub of virtual bands whose
// disks appear in their own hub ports: each band burned onto its own disk
// and shown with the version it came back with, one band that does not come
// back and one pulled out mid-burn while the others pass, autostart, and a
// verdict that stays until its band leaves.
#include "bandhub.h"
#include "diskhub.h"
#include "mainwindow.h"
#include "multiburnwindow.h"
#include "recordtesting.h"
#include "smallscreen.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using Look = BandPanel::StepLook;
using Verdict = BandPanel::Verdict;

namespace {

constexpr int kCycleTimeoutMs = 20000;

} // namespace

class TestMultiBurnWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        const QDir data(QStringLiteral(BURNER_DATA_DIR));
        QVERIFY(work.isValid() && QDir(work.path()).mkpath("bin"));
        for (const char *file : {"def.xml", "bin/band.cfg", "bin/band.bin"})
            QVERIFY2(QFile::copy(data.filePath(file), work.filePath(file)), file);
        QVERIFY(QDir::setCurrent(work.path()));
    }
    void cleanup() { QFile::remove(QStringLiteral("results.db")); }

    void eachBandOnItsOwnDiskWhileOthersFail()
    {
        BandHub hub(4);
        DiskHub disks(hub, 4);
        disks.keepAsDisk(1);  // burned, but never comes back on its port
        hub.band(2).setFault(SB_ITEM_UPGRADE, bandsim::Fault::NoAnswer); // stays out of upgrade mode
        const QString stick = disks.stickFirst(0); // never written to
        for (int i = 0; i < 4; ++i)
            QVERIFY(hub.plugIn(i));
        MultiBurnWindow window(4, false, &hub, &disks);
        window.setPauseMs(0);
        window.setReturnTimeoutMs(3000);
        window.setUpgradeTimeoutMs(3000);
        window.show();
        QVERIFY(window.init(100));
        PanelGrid *grid = window.grid();
        QTRY_VERIFY(grid->startAllButton()->isEnabled());
        QCOMPARE(grid->panel(3)->location(), BandHub::locationOf(3));
        const QDateTime beforePress = QDateTime::currentDateTimeUtc();
        grid->startAllButton()->click();
        const QDateTime afterPress = QDateTime::currentDateTimeUtc();

        QTRY_COMPARE_WITH_TIMEOUT(grid->panel(0)->verdict(), Verdict::Pass, kCycleTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(grid->panel(3)->verdict(), Verdict::Pass, kCycleTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(grid->panel(2)->verdict(), Verdict::Fail, kCycleTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(grid->panel(1)->verdict(), Verdict::Fail, kCycleTimeoutMs);
        QCOMPARE(QDir(stick).entryList(QDir::Files), QStringList());
        // A clean disk has no old configuration to remove (ROC).
        for (int step = 0; step < BurnReport::kStepCount; ++step)
            QCOMPARE(grid->panel(0)->stepLook(step), step == 5 ? Look::NotRun : Look::Passed);
        const sb_version_t v = hub.band(0).version();
        QVERIFY(grid->panel(0)->detail().contains(
            QStringLiteral("%1.%2.%3.%4").arg(v.version[0]).arg(v.version[1]).arg(v.version[2]).arg(v.version[3])));
        // Burned, but not back: every copy green, the band's return red.
        QCOMPARE(grid->panel(1)->stepLook(7), Look::Passed);
        QCOMPARE(grid->panel(1)->stepLook(BurnReport::kResultStep), Look::Failed);
        // Refused the upgrade: nothing burned.
        QCOMPARE(grid->panel(2)->stepLook(0), Look::NotRun);
        // Every band has its result: the line says so, no longer "plug in".
        QTRY_COMPARE(grid->noteText(), QStringLiteral("全部手环已有结果: 请拔下手环，失败的手环可按烧录重试"));
        // Each record covers its band's whole cycle, from the press on.
        for (const QJsonObject &run : localRuns(QStringLiteral("."))) {
            const QDateTime started = QDateTime::fromString(run.value(QStringLiteral("started_at")).toString(), Qt::ISODateWithMs);
            QVERIFY2(started >= beforePress.addMSecs(-50) && started <= afterPress.addMSecs(50),
                     qPrintable(run.value(QStringLiteral("started_at")).toString() + " " + beforePress.toString(Qt::ISODateWithMs)));
        }
        if (qEnvironmentVariableIsSet("MULTI_GRAB"))
            window.grab().save(qEnvironmentVariable("MULTI_GRAB"));

        // The verdicts stay while their bands stay, and go with them only.
        QTest::qWait(500);
        QCOMPARE(grid->panel(0)->verdict(), Verdict::Pass);
        QVERIFY(!grid->panel(0)->startButton()->isEnabled()); // not burned again by accident
        hub.pullOut(0);
        QTRY_COMPARE(grid->panel(0)->verdict(), Verdict::None);
        QCOMPARE(grid->panel(3)->verdict(), Verdict::Pass);
        disks.pullDisk(1);
        QTRY_COMPARE(grid->panel(1)->verdict(), Verdict::None);
        QCOMPARE(grid->panel(2)->verdict(), Verdict::Fail);
        // Only a pass left: the line asks for new bands, no longer for retries.
        hub.pullOut(2);
        QTRY_COMPARE(grid->noteText(), QStringLiteral("全部手环烧录成功，请拔下手环，再插入新手环"));

        QStringList seen;
        for (const QJsonObject &run : localRuns(QStringLiteral(".")))
            seen << run.value(QStringLiteral("usb_path")).toString()
                        + QLatin1Char(' ') + run.value(QStringLiteral("outcome")).toString();
        seen.sort();
        QCOMPARE(seen, QStringList({"1-1.1 pass", "1-1.2 fail", "1-1.3 fail", "1-1.4 pass"}));
    }

    void aBandPulledOutMidBurnLeavesTheOtherBurning()
    {
        writeStationIni();
        BandHub hub(2);
        DiskHub disks(hub, 2);
        disks.keepAsDisk(0);
        for (int i = 0; i < 2; ++i)
            QVERIFY(hub.plugIn(i));
        MultiBurnWindow window(2, true, &hub, &disks);
        window.setPauseMs(1500); // the burn waits before its copies
        window.show();
        QVERIFY(window.init(100));
        PanelGrid *grid = window.grid();
        // Autostart: both reset and burning without a press.
        QTRY_VERIFY_WITH_TIMEOUT(disks.hasDisk(0), kCycleTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(grid->panel(0)->stepLook(0), Look::Passed, kCycleTimeoutMs);
        QCOMPARE(grid->panel(0)->stepLook(7), Look::NotRun);
        disks.pullDisk(0);
        QTRY_COMPARE_WITH_TIMEOUT(grid->panel(1)->verdict(), Verdict::Pass, kCycleTimeoutMs);
        QTRY_COMPARE(grid->panel(0)->verdict(), Verdict::None);
        const QList<QJsonObject> runs = localRuns(QStringLiteral("."));
        QCOMPARE(runs.size(), 2);
    }

    // The question about closing mid-burn goes once the burn has ended
    // underneath, and the close goes ahead.
    void closeQuestionGoesWithTheBurn()
    {
        BandHub hub(1);
        DiskHub disks(hub, 1);
        QVERIFY(hub.plugIn(0));
        MultiBurnWindow window(2, true, &hub, &disks);
        window.setPauseMs(1500); // the burn waits before its copies
        window.show();
        QVERIFY(window.init(100));
        QTRY_COMPARE_WITH_TIMEOUT(window.grid()->panel(0)->stepLook(0), Look::Passed, kCycleTimeoutMs);
        QStringList asked;
        QTimer look;
        connect(&look, &QTimer::timeout, this, [&asked] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()); box && asked.isEmpty())
                asked << box->windowTitle();
        });
        look.start(20);
        // A question that never goes fails the test rather than hanging it.
        bool leftOpen = false;
        QTimer::singleShot(kCycleTimeoutMs, this, [&leftOpen] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                leftOpen = true;
                box->reject();
            }
        });
        QVERIFY(window.close());
        QCOMPARE(asked, QStringList{QStringLiteral("正在烧录")});
        QVERIFY(!leftOpen);
        QVERIFY(!window.isVisible());
        QCOMPARE(window.grid()->panel(0)->stepLook(7), Look::Passed); // the burn ran to its end
    }

    // Single or with up to 8 panels, the whole window fits a 1366x768 screen.
    void fitsASmallScreen()
    {
        BandHub hub(1);
        DiskHub disks(hub, 1);
        MainWindow single(nullptr, &disks);
        single.markSimulated();
        verifyFitsASmallScreen(single, [&](int count) {
            MultiBurnWindow window(count, true, &hub, &disks);
            window.markSimulated();
            return window.sizeHint();
        });
    }

private:
    static void writeStationIni()
    {
        QFile ini(QStringLiteral("station.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[station]\nslots=2\nautostart=true\n");
    }

    QTemporaryDir work;
};

QTEST_MAIN(TestMultiBurnWindow)
#include "tst_multiburnwindow.moc"

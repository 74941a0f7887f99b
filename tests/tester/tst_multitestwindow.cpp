// The tester with a panel per band, against a hub of virtual bands: what the
// window adds to the runs (see tst_testcontroller): each band's steps and
// verdict on its own panel, the notes, the buttons, and the layout.
#include "bandhub.h"
#include "mainwindow.h"
#include "multitestwindow.h"
#include "recordtesting.h"
#include "slotsettings.h"
#include "smallscreen.h"

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using Look = BandPanel::StepLook;
using Verdict = BandPanel::Verdict;

namespace {

constexpr int kRunTimeoutMs = 15000;

// Counts a widget's paint events.
struct PaintCount : QObject {
    explicit PaintCount(QWidget *w) { w->installEventFilter(this); }
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint)
            ++count;
        return false;
    }
    int count = 0;
};

void writeIni(const QString &text)
{
    QFile ini(QStringLiteral("station.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write(text.toUtf8());
}

} // namespace

class TestMultiTestWindow : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir::setCurrent(dir->path()));
        QFile def(QStringLiteral("def.xml"));
        QVERIFY(def.open(QIODevice::WriteOnly));
        def.write("<QAT_DEF><def type='person'><settings weight='60' sex='female' age='25' goal='8000'/></def></QAT_DEF>");
    }
    void cleanup() { dir.reset(); }

    void silentAndPulledBandsLeaveTheOthersAlone()
    {
        BandHub hub(4);
        // Band 2 falls silent at the wearer settings; band 3 is pulled out
        // mid-run, just after it took the clock.
        hub.band(1).setFault(SB_ITEM_CONF, bandsim::Fault::NoAnswer);
        hub.band(2).setFault(SB_ITEM_TIME, bandsim::Fault::DropsOffAfterAnswer);
        for (int i = 0; i < 4; ++i)
            QVERIFY(hub.plugIn(i));
        MultiTestWindow window(4, false, &hub);
        window.slotManager()->setRestartAfterPass(5000);
        window.show();
        QVERIFY(window.init(100));
        PanelGrid *grid = window.grid();
        QTRY_VERIFY(grid->startAllButton()->isEnabled());
        QCOMPARE(grid->noteText(), QStringLiteral("插入手环后按开始测试"));
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(grid->panel(i)->location(), BandHub::locationOf(i));
            QCOMPARE(grid->panel(i)->stepLook(0), Look::NotRun);
        }

        PaintCount paints(grid->panel(0));
        grid->startAllButton()->click();
        QVERIFY(!grid->startAllButton()->isEnabled());
        QCOMPARE(grid->panel(2)->verdict(), Verdict::Running);

        QTRY_COMPARE_WITH_TIMEOUT(grid->panel(0)->verdict(), Verdict::Pass, kRunTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(grid->panel(3)->verdict(), Verdict::Pass, kRunTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(grid->panel(1)->verdict(), Verdict::Fail, kRunTimeoutMs);
        QVERIFY(paints.count > 0);
        if (qEnvironmentVariableIsSet("MULTI_GRAB"))
            window.grab().save(qEnvironmentVariable("MULTI_GRAB"));
        for (int row = 0; row < TestSequence::RowCount; ++row)
            QCOMPARE(grid->panel(0)->stepLook(row), Look::Passed);
        QCOMPARE(grid->panel(0)->stepText(TestSequence::RowGetVersion).count('.'), 3);
        // The failing band: green up to its failed step, red there, neutral after.
        QCOMPARE(grid->panel(1)->stepLook(TestSequence::RowGetTime), Look::Passed);
        QCOMPARE(grid->panel(1)->stepLook(TestSequence::RowSetConf), Look::Failed);
        QCOMPARE(grid->panel(1)->stepLook(TestSequence::RowReset), Look::NotRun);
        QCOMPARE(BandPanel::colourOf(Look::Failed), QColor(Qt::red));
        // The pulled band's panel is free again, with nothing on it.
        QTRY_COMPARE(grid->panel(2)->location(), QString());
        QCOMPARE(grid->panel(2)->verdict(), Verdict::None);
        QCOMPARE(grid->panel(2)->stepLook(0), Look::NotRun);
        // Every band left has its result, failed or not: the line says so, no longer "press".
        QTRY_COMPARE(grid->noteText(), QStringLiteral("全部手环已有结果，请拔下手环，再插入新手环"));

        // The passes stay while their bands restart and come back, and the
        // FAIL while its band stays; a retest is offered for those present.
        QTRY_VERIFY_WITH_TIMEOUT(grid->panel(0)->startButton()->isEnabled(), 5000);
        QCOMPARE(grid->panel(0)->verdict(), Verdict::Pass);
        QCOMPARE(grid->panel(1)->verdict(), Verdict::Fail);
        QVERIFY(!grid->startAllButton()->isEnabled()); // no panel waits for a first run

        // Each verdict goes with its own band only.
        hub.pullOut(0);
        QTRY_COMPARE(grid->panel(0)->verdict(), Verdict::None);
        QCOMPARE(grid->panel(3)->verdict(), Verdict::Pass);
        QCOMPARE(grid->panel(1)->verdict(), Verdict::Fail);
        hub.pullOut(1);
        QTRY_COMPARE(grid->panel(1)->verdict(), Verdict::None);
        QCOMPARE(grid->panel(3)->verdict(), Verdict::Pass);

        // One record per band, each with its location.
        const QList<QJsonObject> runs = localRuns(QStringLiteral("."));
        QCOMPARE(runs.size(), 4);
        QStringList seen;
        for (const QJsonObject &run : runs)
            seen << run.value(QStringLiteral("usb_path")).toString()
                        + QLatin1Char(' ') + run.value(QStringLiteral("outcome")).toString();
        seen.sort();
        QCOMPARE(seen, QStringList({"1-1.1 pass", "1-1.2 fail", "1-1.3 interrupted", "1-1.4 pass"}));
    }

    void anUnusableStationStartsNoBand_data()
    {
        QTest::addColumn<QString>("def");
        QTest::addColumn<QString>("ini");
        QTest::addColumn<QString>("said");
        QTest::newRow("def.xml") << "<QAT_DEF><def type='person'><settings weight='300'/></def></QAT_DEF>" << ""
                                 << "无法打开或处理def.xml: weight";
        QTest::newRow("station.ini") << "" << "[station]\nslots=17\n" << "station.ini: [station] slots=17 不是";
    }

    void anUnusableStationStartsNoBand()
    {
        QFETCH(QString, def);
        QFETCH(QString, ini);
        QFETCH(QString, said);
        if (!def.isEmpty()) {
            QFile file(QStringLiteral("def.xml"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(def.toUtf8());
        }
        if (!ini.isEmpty())
            writeIni(ini);
        BandHub hub(8);
        for (int i = 0; i < 8; ++i)
            QVERIFY(hub.plugIn(i));
        MultiTestWindow window(8, true, &hub);
        window.show();
        QCOMPARE(window.init(100), def.isEmpty());
        // Every band is seen, none is touched, and the note says why.
        for (int i = 0; i < 8; ++i)
            QTRY_COMPARE(window.grid()->panel(i)->location(), BandHub::locationOf(i));
        QVERIFY2(window.grid()->noteText().startsWith(said), qPrintable(window.grid()->noteText()));
        for (int i = 0; i < 8; ++i) {
            QVERIFY(hub.band(i).commandsReceived().empty());
            QCOMPARE(window.grid()->panel(i)->verdict(), Verdict::None);
            QVERIFY(!window.grid()->panel(i)->startButton()->isEnabled());
        }
        QVERIFY(!window.grid()->startAllButton()->isEnabled());
        window.startAllReady();
        window.startSlot(0);
        QVERIFY(hub.band(0).commandsReceived().empty());
        QVERIFY(localRunCount(QStringLiteral(".")) <= 0);
    }

    void aPortHeldElsewhereIsSaidOnItsPanel()
    {
        BandHub hub(2);
        for (int i = 0; i < 2; ++i)
            QVERIFY(hub.plugIn(i));
        const QString held = QString::fromStdString(hub.band(0).devicePath());
        const int holder = ::open(QFile::encodeName(held).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        QVERIFY(holder >= 0);
        QCOMPARE(::flock(holder, LOCK_EX | LOCK_NB), 0);
        MultiTestWindow window(2, true, &hub);
        window.show();
        QVERIFY(window.init(100));
        QTRY_COMPARE_WITH_TIMEOUT(window.grid()->panel(0)->verdict(), Verdict::Fail, kRunTimeoutMs);
        ::close(holder);
        QCOMPARE(window.grid()->panel(0)->detail(), QStringLiteral("端口 %1 被其他程序占用，请关闭该程序后再测试").arg(held));
        QTRY_COMPARE_WITH_TIMEOUT(window.grid()->panel(1)->verdict(), Verdict::Pass, kRunTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(localRunCount(QStringLiteral(".")), 2, kRunTimeoutMs);
        const QList<QJsonObject> runs = localRuns(QStringLiteral("."));
        const auto heldRun = std::find_if(runs.begin(), runs.end(), [](const QJsonObject &r) {
            return r.value(QStringLiteral("usb_path")).toString() == BandHub::locationOf(0);
        });
        QVERIFY(heldRun != runs.end());
        QCOMPARE(heldRun->value(QStringLiteral("details")).toObject().value(QStringLiteral("error")).toString(),
                 QStringLiteral("%1 is in use by another program").arg(held));
    }

    void closingWaitsForHungBandsAndKeepsTheirRecords()
    {
        BandHub hub(2);
        for (int i = 0; i < 2; ++i) {
            hub.band(i).setFault(SB_ITEM_VERSION, bandsim::Fault::NoAnswer);
            QVERIFY(hub.plugIn(i));
        }
        {
            MultiTestWindow window(2, true, &hub);
            window.show();
            QVERIFY(window.init(100));
            QTRY_COMPARE(window.grid()->panel(1)->verdict(), Verdict::Running);
            QTRY_COMPARE(window.grid()->panel(1)->stepLook(TestSequence::RowGetVersion), Look::Running);
            QCOMPARE(window.grid()->panel(1)->stepLook(TestSequence::RowOpenPort), Look::Passed);
        }
        const QList<QJsonObject> runs = localRuns(QStringLiteral("."));
        QCOMPARE(runs.size(), 2);
        QCOMPARE(runs[0].value(QStringLiteral("outcome")).toString(), QStringLiteral("interrupted"));
    }

    // Single or with up to 8 panels, the whole window fits a 1366x768 screen.
    void fitsASmallScreen()
    {
        MainWindow single;
        single.markSimulated();
        verifyFitsASmallScreen(single, [](int count) {
            MultiTestWindow window(count, true);
            window.markSimulated();
            return window.sizeHint();
        });
    }

    void slotSettingsOutOfRangeAreRefused()
    {
        writeIni(QStringLiteral("[station]\nname=line 1, tester 3\nslots=17\nautostart=maybe\n"));
        SlotSettings file = SlotSettings::read(QStringLiteral("."));
        {
            // Every mistake in the window's problem strip, the records' and the panels' alike.
            MultiTestWindow window(2, false);
            const auto *strip = window.findChild<QLabel *>(QStringLiteral("recordStatus"));
            QVERIFY(strip);
            for (const char *mistake : {"name has a comma", "slots=17", "autostart=maybe"})
                QVERIFY2(strip->text().contains(QLatin1String(mistake)), qPrintable(strip->text()));
        }
        QCOMPARE(file.slotCount, 1);
        QVERIFY(!file.autostart);
        QCOMPARE(file.problems.size(), 2); // both mistakes, not only the last
        QVERIFY(file.problemText().contains(QStringLiteral("slots=17")));
        QVERIFY(file.problemText().contains(QStringLiteral("autostart=maybe")));
        QStringList args{"--simulate", "--slots", "0"};
        QVERIFY(!file.takeCommandLine(args));
        QCOMPARE(args, QStringList{"--simulate"});
        args = QStringList{"--slots", "16"};
        QVERIFY(file.takeCommandLine(args));
        QCOMPARE(file.slotCount, 16);
        QVERIFY(args.isEmpty());
        int bands = -1;
        QString problem;
        args = QStringList{"--simulate", "8", "--slots", "8"};
        QVERIFY(SlotSettings::takeSimulate(args, &bands, &problem));
        QCOMPARE(bands, 8);
        QCOMPARE(args, QStringList({"--slots", "8"}));
        args = QStringList{"--simulate", "--slots", "2"};
        QVERIFY(SlotSettings::takeSimulate(args, &bands, &problem));
        QCOMPARE(bands, 1);
        args = QStringList{"--simulate", "17"};
        QVERIFY(!SlotSettings::takeSimulate(args, &bands, &problem));
        QVERIFY(problem.contains(QStringLiteral("--simulate")));
    }

private:
    std::unique_ptr<QTemporaryDir> dir;
};

QTEST_MAIN(TestMultiTestWindow)
#include "tst_multitestwindow.moc"

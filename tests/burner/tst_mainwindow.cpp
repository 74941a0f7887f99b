// The burner's window driven through its inputs: the virtual band behind the
// port watcher, hot-plug events by hand or from the simulated source, real
// burns into temporary folders.
#include "bandports.h"
#include "mainwindow.h"
#include "recordtesting.h"
#include "simulatedband.h"
#include "simulatedhotplugsource.h"
#include "startup.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QMutex>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include <atomic>
#include <bandsim/virtualband.h>

namespace {

const QString kNoBand = QStringLiteral("请连接手环到电脑.");
const QString kReadyToBurn = QStringLiteral("请点击烧录按钮.");
const QString kReconnect = QStringLiteral("请重新连接手环到电脑.");
const QString kBurnPassed = QStringLiteral("烧录成功，请等待手环震动重启.");
const QString kBurnFailed = QStringLiteral("烧录失败，请重新连接手环到电脑.");
const QString kBurning = QStringLiteral("正在烧录，请勿拔出手环.");
const QString kEnteringUpgrade = QStringLiteral("复位成功，手环正在进入升级模式，请稍候.");
const QString kStationProblem = QStringLiteral("工位问题，修复后按复位:\n");
// A window text as shown, in the language of the translator installed.
QString shown(const char *source) { return QCoreApplication::translate("MainWindow", source); }
QString backWithVersion(const QString &version) { return shown("烧录成功，手环已重启，版本 %1.\n请拔下手环.").arg(version); }
constexpr int kSlowMs = 20000; // only a bound against hangs

QStringList debugMessages;
QMutex debugMessagesLock; // the controller's thread logs too
QtMessageHandler previousHandler = nullptr;

void captureMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    {
        const QMutexLocker locked(&debugMessagesLock);
        debugMessages << text;
    }
    previousHandler(type, context, text);
}

class FakeHotplug : public HotplugSource {
public:
    bool startResult = true;
    bool start() override { return startResult; }
    void mountBandDisk(const QString &root)
    {
        emit usbDeviceArrived(0x0451, 0x16A8);
        emit volumeMounted({root + '/', VolumeInfo::Kind::Local, true, 0x0451, 0x16A8});
    }
};

// Lists the band's port whether or not the band answers behind it.
class ListedPort : public PortSource {
public:
    bool listed = true;
    QString location; // where the port's USB device is plugged in
    const SimulatedBand *band = nullptr; // behind the port, when given
    QString devicePath(const SerialPortEntry &entry) const override
    {
        return band ? band->devicePath(entry) : PortSource::devicePath(entry);
    }
    QList<SerialPortEntry> availablePorts() const override
    {
        if (!listed)
            return {};
        return {{bandPortName(SimulatedBand::kPort), true, 0x0451, 0x16AA, location}};
    }
};

// The band's port as one watcher thread sees it: not there while held for
// that thread, so that the window hears of the band's return only when the
// test lets it, however quick the return.
class LateForOneWatcher : public PortSource {
public:
    explicit LateForOneWatcher(const SimulatedBand *band) : band(band) {}
    std::atomic<const QThread *> heldFor{nullptr};
    mutable std::atomic<int> looks{0}; // by the window's thread
    QList<SerialPortEntry> availablePorts() const override
    {
        if (QThread::currentThread() == qApp->thread())
            ++looks;
        return QThread::currentThread() == heldFor.load() ? QList<SerialPortEntry>() : band->availablePorts();
    }
    void watchChanges(QObject *context, const std::function<void()> &changed) const override
    {
        band->watchChanges(context, changed);
    }
    QString devicePath(const SerialPortEntry &entry) const override { return band->devicePath(entry); }

private:
    const SimulatedBand *band;
};

// Closes every modal box, noting "title/text" and whether it offered OK and Cancel.
struct BoxCloser {
    QStringList seen;
    QTimer timer;
    BoxCloser()
    {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                const bool okCancel = box->button(QMessageBox::Ok) && box->button(QMessageBox::Cancel);
                seen << box->windowTitle() + '/' + box->text() + (okCancel ? "" : " (buttons wrong)");
                box->done(QMessageBox::Ok);
            }
        });
        timer.start(20);
    }
};

QString statusOf(const MainWindow &w) { return w.statusText(); }

QString logTail(int chars)
{
    QFile log("run.log");
    // Text mode: Windows' CRLF line ends read as the lines' own "\n".
    return log.open(QIODevice::ReadOnly | QIODevice::Text) ? QString::fromUtf8(log.readAll()).right(chars) : QString();
}
QPushButton *button(const MainWindow &w, const char *name)
{
    return QByteArray(name) == "pbReset" ? w.resetButton() : w.burnButton();
}

// One letter per row: . not run (neutral), B burning now, G passed, R failed, ? anything else.
QString rowLooks(const MainWindow &w)
{
    QString looks;
    const auto *table = w.stepTable();
    for (int row = 0; row < table->rowCount(); ++row) {
        const QString text = table->item(row, 0)->text();
        const QColor colour = table->item(row, 0)->background().color();
        const QBrush brush = table->item(row, 0)->background();
        looks += text.isEmpty() && brush.style() == Qt::NoBrush ? '.'
               : text.isEmpty() && colour == QColor(128, 192, 255) ? 'B'
               : text == shown("成功") && colour == Qt::green ? 'G'
               : text == shown("失败") && colour == Qt::red   ? 'R' : '?';
    }
    return looks;
}

} // namespace

class TestBurnerWindow : public QObject {
    Q_OBJECT
    QTemporaryDir work;

private slots:
    void initTestCase()
    {
        const QDir data(QStringLiteral(BURNER_DATA_DIR));
        QVERIFY(work.isValid() && QDir(work.path()).mkpath("bin") && QDir(work.path()).mkpath("rc"));
        for (const char *file : {"def.xml", "cn.qm", "en.qm", "bin/band.cfg", "bin/band.bin", "rc/tips.png",
                                 "rc/ok.png", "rc/retry.png", "rc/reset.png", "rc/tools-icon.png"})
            QVERIFY2(QFile::copy(data.filePath(file), work.filePath(file)), file);
        QVERIFY(QDir::setCurrent(work.path()));
        previousHandler = qInstallMessageHandler(captureMessage);
    }

    void initOutcome_data()
    {
        QTest::addColumn<bool>("hotplugStarts");
        QTest::addColumn<bool>("defXmlPresent");
        QTest::addColumn<QString>("message");
        QTest::newRow("hot-plug refused: def.xml not read") << false << false << "Failed to register device notification";
        QTest::newRow("ready") << true << true << "";
    }
    void initOutcome()
    {
        QFETCH(bool, hotplugStarts);
        QFETCH(bool, defXmlPresent);
        QFETCH(QString, message);
        QVERIFY(defXmlPresent || QFile::rename("def.xml", "def.xml.away"));
        const auto restore = qScopeGuard([] { QFile::rename("def.xml.away", "def.xml"); });
        FakeHotplug hotplug;
        hotplug.startResult = hotplugStarts;
        debugMessages.clear();
        {
            MainWindow window(nullptr, &hotplug);
            QCOMPARE(window.init(), message.isEmpty());
        }
        QCOMPARE(debugMessages.filter("Failed").size(), message.isEmpty() ? 0 : 1);
        QVERIFY(message.isEmpty() || debugMessages.filter(message).size() == 1);
    }

    // A station problem never ends the program: the window opens and says
    // which file to fix and why; Reset finds it again before the band is
    // touched, and goes ahead once it is fixed.
    void stationProblems_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content"); // empty: the file is removed
        QTest::addColumn<QString>("shown");
        QTest::newRow("no def.xml") << "def.xml" << QByteArray() << "找不到 def.xml";
        QTest::newRow("def.xml cut off") << "def.xml" << QByteArray("<QAT_DEF><cfg name=\"band.cfg\"/><bi")
                                         << "def.xml 无法使用: 第 1 行: ";
        QTest::newRow("no image") << "bin/band.bin" << QByteArray() << "找不到 bin/band.bin";
        QTest::newRow("empty image") << "bin/band.bin" << QByteArray("") << "bin/band.bin 是空文件";
    }
    void stationProblems()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QString, shown);
        QVERIFY(QFile::copy(file, "kept.away"));
        const auto restore = qScopeGuard([file] {
            QFile::remove(file);
            QFile::rename("kept.away", file);
        });
        QFile::remove(file);
        QFile broken(file);
        QVERIFY(content.isNull() || (broken.open(QIODevice::WriteOnly) && broken.write(content) == content.size()));
        broken.close();

        // The program itself, with a virtual band: its window opens.
        QString startupStatus;
        QTimer::singleShot(200, qApp, [&startupStatus] {
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                if (auto *window = qobject_cast<MainWindow *>(widget); window && window->isVisible()) {
                    startupStatus = statusOf(*window);
                    window->close();
                }
            }
        });
        QCOMPARE(runBurner(*qApp, {"burner", "--simulate"}), 0);
        // A mistyped option is refused: never a real-band run taken for a simulated one.
        QCOMPARE(runBurner(*qApp, {"burner", "-simulate"}), 2);
        // In the system's language: the file to fix is named either way.
        QVERIFY2(startupStatus.contains(file) && startupStatus.count('\n') == 1, qPrintable(startupStatus));

        SimulatedBand band;
        QSignalSpy upgrades(&band, &SimulatedBand::enteredUpgradeMode);
        QVERIFY(band.plugIn());
        FakeHotplug hotplug;
        MainWindow window(&band, &hotplug);
        QVERIFY(window.init(20));
        QTRY_VERIFY_WITH_TIMEOUT(button(window, "pbReset")->isEnabled(), kSlowMs);
        QVERIFY(statusOf(window).startsWith(kStationProblem + shown)); // not "press Reset"
        {
            BoxCloser closer;
            QTest::mouseClick(button(window, "pbReset"), Qt::LeftButton);
            QCOMPARE(closer.seen.size(), 1);
            QVERIFY2(closer.seen[0].startsWith("失败/" + kStationProblem + shown), qPrintable(closer.seen[0]));
        }
        QVERIFY(statusOf(window).startsWith(kStationProblem + shown));
        QVERIFY(button(window, "pbReset")->isEnabled());
        QTest::qWait(100);
        QCOMPARE(upgrades.count(), 0);

        QFile::remove(file);
        QVERIFY(QFile::copy("kept.away", file));
        QTest::mouseClick(button(window, "pbReset"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(window), kEnteringUpgrade, kSlowMs);
        QTRY_COMPARE_WITH_TIMEOUT(upgrades.count(), 1, kSlowMs);
    }

    void reset_data()
    {
        QTest::addColumn<bool>("portListed");
        QTest::addColumn<bool>("bandAnswers");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("resetEnabledAfter");
        QTest::addColumn<bool>("upgradeRefused");
        QTest::newRow("no port") << false << true << "失败/端口无效" << kNoBand << false << false;
        QTest::newRow("open fails") << true << false << "失败/端口打开失败" << "复位失败，请重新连接手环到电脑." << true << false;
        QTest::newRow("upgrade fails") << true << true << "失败/端口通信失败" << "复位失败，请重新连接手环到电脑." << false << true;
        QTest::newRow("upgrade sent") << true << true << "" << kEnteringUpgrade << false << false;
    }
    void reset()
    {
        QFETCH(bool, portListed);
        QFETCH(bool, bandAnswers);
        QFETCH(QString, box);
        QFETCH(QString, status);
        QFETCH(bool, resetEnabledAfter);
        QFETCH(bool, upgradeRefused);
        SimulatedBand band;
        QSignalSpy upgrades(&band, &SimulatedBand::enteredUpgradeMode);
        QVERIFY(!bandAnswers || band.plugIn());
        if (upgradeRefused)
            band.band().setFault(SB_ITEM_VERSION, bandsim::Fault::NoAnswer); // pulled out meanwhile
        ListedPort ports;
        ports.listed = portListed;
        ports.band = bandAnswers ? &band : nullptr;
        FakeHotplug hotplug;
        MainWindow window(&ports, &hotplug);
        QVERIFY(window.init(20));
        BoxCloser closer;
        if (portListed) {
            QTRY_VERIFY_WITH_TIMEOUT(button(window, "pbReset")->isEnabled(), kSlowMs);
            QTest::mouseClick(button(window, "pbReset"), Qt::LeftButton);
            if (upgradeRefused) { // while Reset waits for the band to tell who it is
                QTRY_VERIFY_WITH_TIMEOUT(!band.band().commandsReceived().empty(), kSlowMs);
                band.unplug();
            }
        } else {
            window.slotOnPbReset(); // the button itself is disabled then
        }
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(window), status, kSlowMs);
        QCOMPARE(closer.seen, box.isEmpty() ? QStringList() : QStringList{box});
        QCOMPARE(button(window, "pbReset")->isEnabled(), resetEnabledAfter);
        QTRY_COMPARE_WITH_TIMEOUT(upgrades.count(), box.isEmpty() ? 1 : 0, kSlowMs);
    }

    // A band that never answers: the window's event loop keeps turning (and
    // so it repaints) while its Reset waits for the band to tell who it is.
    void repaintsWhileResetWaits()
    {
        SimulatedBand band;
        QVERIFY(band.plugIn());
        band.band().setFault(SB_ITEM_VERSION, bandsim::Fault::NoAnswer);
        FakeHotplug hotplug;
        MainWindow window(&band, &hotplug);
        window.show();
        QVERIFY(window.init(20));
        QTRY_VERIFY_WITH_TIMEOUT(button(window, "pbReset")->isEnabled(), kSlowMs);
        QElapsedTimer sinceTick;
        qint64 longestGapMs = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] {
            longestGapMs = qMax(longestGapMs, sinceTick.restart());
            window.update();
        });
        sinceTick.start();
        ticker.start(10);
        QElapsedTimer waited;
        waited.start();
        QTest::mouseClick(button(window, "pbReset"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(window), kEnteringUpgrade, kSlowMs);
        QVERIFY2(waited.elapsed() > 500, qPrintable(QString::number(waited.elapsed()))); // it did wait for the band
        QVERIFY2(longestGapMs < 100, qPrintable(QString::number(longestGapMs)));
    }

    // Two bands in upgrade mode on one hub: the disk in the reset band's port is its disk.
    void resetBandsDiskByItsPlace()
    {
        SimulatedBand band;
        QVERIFY(band.plugIn());
        ListedPort ports;
        ports.location = QStringLiteral("1-1.4.2");
        ports.band = &band;
        FakeHotplug hotplug;
        MainWindow window(&ports, &hotplug);
        QVERIFY(window.init(20));
        QTRY_VERIFY_WITH_TIMEOUT(button(window, "pbReset")->isEnabled(), kSlowMs);
        QTest::mouseClick(button(window, "pbReset"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(window), kEnteringUpgrade, kSlowMs);

        const auto mountAt = [&](const QString &location) {
            emit hotplug.usbDeviceArrived(0x0451, 0x16A8, location);
            emit hotplug.volumeMounted({"/media/op/" + location + '/', VolumeInfo::Kind::Local, true, 0x0451,
                                        0x16A8, location});
        };
        mountAt(QStringLiteral("1-1.4.3")); // the neighbour's, first
        QVERIFY(!button(window, "pbBurn")->isEnabled());
        mountAt(QStringLiteral("1-1.4.2"));
        QCOMPARE(statusOf(window), kReadyToBurn);
        QVERIFY(button(window, "pbBurn")->isEnabled());
    }

    void hotplug_data()
    {
        QTest::addColumn<QString>("events");
        QTest::addColumn<QString>("status"); // Burn is enabled exactly with kReadyToBurn
        // Which disk is the band's is the controller's to tell (tst_burncycle);
        // here what the window says of it.
        QTest::newRow("band, then its volume") << "band own" << kReadyToBurn;
        QTest::newRow("operator's USB stick") << "band stick" << kNoBand;
        QTest::newRow("band removed") << "band own gone" << kReconnect;
        QTest::newRow("volume after removal") << "band gone own" << kReconnect;
        // The band's port may be reported gone before or after its disk.
        QTest::newRow("port lost, then disk") << "portLost band own" << kReadyToBurn;
        QTest::newRow("disk, then port lost") << "band own portLost" << kReadyToBurn;
        QTest::newRow("port lost after removal") << "band own gone portLost" << kNoBand;
    }
    void hotplug()
    {
        QFETCH(QString, events);
        QFETCH(QString, status);
        FakeHotplug hotplug;
        MainWindow window(nullptr, &hotplug);
        using Kind = VolumeInfo::Kind;
        for (const QString &event : events.split(' ')) {
            if (event == "band")
                emit hotplug.usbDeviceArrived(0x0451, 0x16A8);
            else if (event == "gone")
                emit hotplug.usbDeviceLeft(0x0451, 0x16A8);
            else if (event == "portLost")
                window.slotOnSBConnected(false);
            else
                emit hotplug.volumeMounted({"/media/d/", Kind::Local, true, 0x0451, quint16(event == "own" ? 0x16A8 : 0x16AA)});
        }
        QCOMPARE(button(window, "pbBurn")->isEnabled(), status == kReadyToBurn);
        QCOMPARE(statusOf(window), status);
    }

    // Each step's look; a pass waits for the band to come back, shows its
    // version and keeps the result, with Reset off, until that band is
    // unplugged; only then does a band count as new.
    void burn_data()
    {
        QTest::addColumn<bool>("oldConfigOnDisk");
        QTest::addColumn<bool>("imageInBin");
        QTest::addColumn<QString>("looks");
        QTest::addColumn<QString>("status");
        QTest::newRow("passes, old configuration removed") << true << true << "GGGGGGGGG" << "back";
        QTest::newRow("passes, clean disk") << false << true << "GGGGG.GGG" << "back";
        QTest::newRow("no image in bin/") << false << false << "GGR.....R" << kStationProblem + "找不到 bin/band.bin";
    }
    void burn()
    {
        QFETCH(bool, oldConfigOnDisk);
        QFETCH(bool, imageInBin);
        QFETCH(QString, looks);
        QFETCH(QString, status);
        QTemporaryDir disk;
        QFile oldConfig(disk.filePath("DEFAULT.CFG"));
        QVERIFY(!oldConfigOnDisk || oldConfig.open(QIODevice::WriteOnly));
        oldConfig.close(); // Windows removes no file that is still open
        const auto restore = qScopeGuard([] { QFile::rename("band.bin.away", "bin/band.bin"); });
        SimulatedBand band; // its port is there once the burn is done: it came back
        FakeHotplug hotplug;
        MainWindow window(&band, &hotplug);
        QVERIFY(window.init(20));
        QVERIFY(imageInBin || QFile::rename("bin/band.bin", "band.bin.away"));
        window.setPauseMs(10);
        hotplug.mountBandDisk(disk.path());
        QTest::mouseClick(button(window, "pbBurn"), Qt::LeftButton);
        QCOMPARE(statusOf(window), kBurning);
        if (imageInBin) {
            QTRY_COMPARE_WITH_TIMEOUT(rowLooks(window).right(2), QString("GB"), kSlowMs); // waits for the band
            QCOMPARE(statusOf(window), kBurnPassed);
            emit hotplug.usbDeviceLeft(0x0451, 0x16A8); // it restarts
            QCOMPARE(statusOf(window), kBurnPassed);
            QVERIFY(band.plugIn());
        }
        QTRY_VERIFY_WITH_TIMEOUT(!rowLooks(window).endsWith('B') && !rowLooks(window).endsWith('.'), kSlowMs);
        QCOMPARE(rowLooks(window), looks);
        const QJsonObject record = localRuns(".").last();
        const QString version = record.value("details").toObject().value("version").toString();
        QCOMPARE(statusOf(window), status == "back" ? backWithVersion(version) : status);
        QCOMPARE(window.statusIcon().toImage(), QPixmap(status == "back" ? "./rc/ok.png" : "./rc/retry.png").toImage());
        QVERIFY(!button(window, "pbBurn")->isEnabled());
        if (!imageInBin)
            return;
        QVERIFY(version.count('.') == 3);
        QVERIFY(!record.value("unit").toString().isEmpty());
        // The band just burned stays: so do its result and Reset's off state.
        QTest::qWait(200);
        QCOMPARE(rowLooks(window), looks);
        QVERIFY(!button(window, "pbReset")->isEnabled());
        // Unplugged: the result stays until the next band arrives, which starts clean.
        band.unplug();
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(window), kNoBand, kSlowMs);
        QCOMPARE(rowLooks(window), looks);
        QVERIFY(band.plugIn());
        QTRY_VERIFY_WITH_TIMEOUT(button(window, "pbReset")->isEnabled(), kSlowMs);
        QCOMPARE(rowLooks(window), QString("........."));
        QCOMPARE(statusOf(window), QStringLiteral("请点击复位按钮."));
    }

    // A burn that cannot even start its log fails on screen with the reason,
    // never left looking busy; the next burn, with the log back, runs.
    void burnWithoutItsLog()
    {
        QTemporaryDir disk;
        QVERIFY(QFile::rename("run.log", "run.log.away") || !QFile::exists("run.log"));
        const auto restore = qScopeGuard([] {
            QDir().rmdir("run.log");
            QFile::rename("run.log.away", "run.log");
        });
        QVERIFY(QDir().mkdir("run.log"));
        ListedPort ports;
        ports.listed = false;
        FakeHotplug hotplug;
        MainWindow window(&ports, &hotplug);
        QVERIFY(window.init());
        hotplug.mountBandDisk(disk.path());
        QTest::mouseClick(button(window, "pbBurn"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(rowLooks(window), QString("........R"), kSlowMs);
        QVERIFY2(statusOf(window).contains("run.log"), qPrintable(statusOf(window)));
        QCOMPARE(localRuns(".").last().value("outcome").toString(), QStringLiteral("fail"));
    }

    // The band does not come back after a burn: the result row fails.
    void burnedBandDoesNotReturn()
    {
        QTemporaryDir disk;
        ListedPort ports;
        ports.listed = false;
        FakeHotplug hotplug;
        MainWindow window(&ports, &hotplug);
        window.setReturnTimeoutMs(300);
        QVERIFY(window.init());
        window.setPauseMs(0);
        hotplug.mountBandDisk(disk.path());
        QTest::mouseClick(button(window, "pbBurn"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(rowLooks(window), QString("GGGGG.GGR"), kSlowMs);
        QCOMPARE(statusOf(window), QStringLiteral("烧录后手环没有正常重启，请重新连接手环到电脑."));
        QCOMPARE(localRuns(".").last().value("failed_step").toString(), QStringLiteral("RST"));

        // A disk instead of the band's port: the wait ends, the disk is taken.
        window.setReturnTimeoutMs(60000);
        hotplug.mountBandDisk(disk.path());
        QTest::mouseClick(button(window, "pbBurn"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(rowLooks(window), QString("GGGGG.GGB"), kSlowMs);
        QTRY_COMPARE_WITH_TIMEOUT(window.controller().stage(), BurnReport::Stage::PortWait, kSlowMs);
        hotplug.mountBandDisk(disk.path());
        QTRY_COMPARE_WITH_TIMEOUT(localRuns(".").last().value("details").toObject().value("error").toString(),
                                  QStringLiteral("a band's disk appeared instead of its port"), kSlowMs);
        QTRY_COMPARE_WITH_TIMEOUT(rowLooks(window), QString("........."), kSlowMs);
        QVERIFY(button(window, "pbBurn")->isEnabled());
    }

    void removalStopsBurn()
    {
        QTemporaryDir disk;
        FakeHotplug hotplug;
        MainWindow window(nullptr, &hotplug);
        QVERIFY(window.init());
        window.setPauseMs(60000); // the burn waits before its first copy
        hotplug.mountBandDisk(disk.path());
        QTest::mouseClick(button(window, "pbBurn"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(rowLooks(window), QString("GGGGG.B.."), kSlowMs);
        emit hotplug.usbDeviceLeft(0x0451, 0x16A8);
        QCOMPARE(statusOf(window), kReconnect);
        // The step that was waiting to copy failed, and so did the unit.
        QTRY_COMPARE_WITH_TIMEOUT(rowLooks(window), QString("GGGGG.R.R"), kSlowMs);
        QTRY_VERIFY_WITH_TIMEOUT(!window.controller().isRunning(), kSlowMs);
        QCOMPARE(statusOf(window), kBurnFailed);
        QVERIFY(logTail(60).contains("]Failed to copy band.cfg\n[") && logTail(60).endsWith("] finish"));
        QVERIFY(!QFile::exists(disk.filePath("band.cfg")));
    }

    // Closing mid-burn asks first; kept open, the burn goes on. Closed
    // anyway, run.log and the record say the window was closed.
    void closedMidBurn()
    {
        QTemporaryDir disk;
        FakeHotplug hotplug;
        MainWindow window(nullptr, &hotplug);
        QVERIFY(window.init());
        window.show();
        window.setPauseMs(60000);
        hotplug.mountBandDisk(disk.path());
        QTest::mouseClick(button(window, "pbBurn"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(rowLooks(window), QString("GGGGG.B.."), kSlowMs);
        QStringList asked;
        auto answer = [&asked](QMessageBox::StandardButton choice) {
            QTimer::singleShot(50, [&asked, choice] {
                if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                    asked << box->text();
                    box->button(choice)->click();
                }
            });
        };
        answer(QMessageBox::No);
        QVERIFY(!window.close());
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked[0].contains(QStringLiteral("没有固件")));
        QVERIFY(window.isVisible());
        QCOMPARE(rowLooks(window), QString("GGGGG.B.."));
        answer(QMessageBox::Yes);
        QVERIFY(window.close());
        QCOMPARE(asked.size(), 2);
        QVERIFY(!window.controller().isRunning());
        const QJsonObject record = localRuns(".").last();
        QCOMPARE(record.value("outcome").toString(), QStringLiteral("interrupted"));
        QCOMPARE(record.value("failed_step").toString(), QStringLiteral("CNC"));
        QCOMPARE(record.value("details").toObject().value("error").toString(), QStringLiteral("copy band.cfg: stopped, window closed"));
        QCOMPARE(record.value("details").toObject().value("disk").toString(), disk.path() + "/");
        QVERIFY2(logTail(120).contains("]Failed to copy band.cfg\n\t[") && logTail(120).contains("]Stopped: window closed\n["),
                 qPrintable(logTail(120)));
    }

    // Pulled out in the middle of copying a large image: the window never
    // stalls, the image's partial file goes, and the window and run.log both
    // show the image copy as failed.
    void removalMidCopy()
    {
        QVERIFY(QFile::rename("bin/band.bin", "band.bin.away"));
        const auto restore = qScopeGuard([] {
            QFile::remove("bin/band.bin");
            QFile::rename("band.bin.away", "bin/band.bin");
        });
        QFile image("bin/band.bin");
        QVERIFY(image.open(QIODevice::WriteOnly) && image.resize(256 * 1024 * 1024)); // sparse
        image.close();
        QTemporaryDir disk;
        FakeHotplug hotplug;
        MainWindow window(nullptr, &hotplug);
        QVERIFY(window.init());
        window.setPauseMs(0);
        connect(&window.controller(), &BurnController::stepStarted, this, [&hotplug](uint idx) {
            if (idx == 7)
                emit hotplug.usbDeviceLeft(0x0451, 0x16A8);
        });
        QElapsedTimer sinceTick;
        qint64 longestStallMs = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] {
            longestStallMs = qMax(longestStallMs, sinceTick.restart());
        });
        hotplug.mountBandDisk(disk.path());
        sinceTick.start();
        ticker.start(5);
        QTest::mouseClick(button(window, "pbBurn"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(rowLooks(window), QString("GGGGG.GRR"), kSlowMs);
        QTRY_VERIFY_WITH_TIMEOUT(!window.controller().isRunning(), kSlowMs);
        ticker.stop();
        QVERIFY2(longestStallMs < 500, qPrintable(QString::number(longestStallMs)));
        QCOMPARE(QDir(disk.path()).entryList(QDir::Files), QStringList{"band.cfg"});
        QVERIFY(logTail(120).contains("]Succeed to copy band.cfg\n\t["));
        QVERIFY(logTail(60).contains("]Failed to copy band.bin\n[") && logTail(60).endsWith("] finish"));
        const QJsonObject record = localRuns(".").last();
        QCOMPARE(record.value("outcome").toString(), QStringLiteral("interrupted"));
        QCOMPARE(record.value("failed_step").toString(), QStringLiteral("CNB"));
        QCOMPARE(record.value("details").toObject().value("bin").toObject().value("sha256"), QJsonValue());
        // The next disk can be burned at once.
        hotplug.mountBandDisk(disk.path());
        QVERIFY(button(window, "pbBurn")->isEnabled());
        QCOMPARE(rowLooks(window), QString("........."));
    }

    void translations()
    {
        QCOMPARE(translationFileFor(QLocale::Chinese), QString("cn.qm"));
        QCOMPARE(translationFileFor(QLocale::Japanese), QString("en.qm"));
        QTranslator english;
        QVERIFY(english.load(translationFileFor(QLocale::English)));
        qApp->installTranslator(&english);
        FakeHotplug hotplug;
        MainWindow window(nullptr, &hotplug);
        window.slotOnProcessOk(0, true);
        window.slotOnProcessOk(1, false);
        const auto *table = window.stepTable();
        const QStringList shown{window.windowTitle(), table->horizontalHeaderItem(0)->text(),
                                button(window, "pbReset")->text(), button(window, "pbBurn")->text(),
                                table->item(0, 0)->text(), table->item(1, 0)->text(),
                                QCoreApplication::translate("MainWindow", "正在烧录，请勿拔出手环.")};
        // A station problem and the simulated band's marker, in English too.
        QVERIFY(QFile::rename("def.xml", "def.xml.away"));
        const auto restore = qScopeGuard([] { QFile::rename("def.xml.away", "def.xml"); });
        MainWindow broken(nullptr, &hotplug);
        broken.markSimulated();
        QVERIFY(broken.init());
        const QString problem = statusOf(broken);
        const QString marker = broken.findChild<QLabel *>("simulatedMarker")->text();
        qApp->removeTranslator(&english);
        QCOMPARE(shown, QStringList({"Burning Tool", "Result", "Reset", "Burn", "Passed", "Failed",
                                     "Burning, do not unplug the band."}));
        QCOMPARE(problem, QString("Station problem, fix it and press Reset:\ndef.xml not found"));
        QCOMPARE(marker, QString("[simulated band]"));
    }

    void wholeCycleWithSimulatedBand()
    {
        // For the screenshots, in the system's language as the program shows it.
        QTranslator language;
        if (qEnvironmentVariableIsSet("BURNER_SCREENSHOT") && language.load(translationFileFor(QLocale::system().language())))
            qApp->installTranslator(&language);
        SimulatedBand band;
        QVERIFY(band.plugIn());
        SimulatedHotplugSource hotplug(&band);
        LateForOneWatcher ports(&band);
        MainWindow window(&ports, &hotplug);
        window.setWindowTitle(SimulatedBand::windowTitleFor(window.windowTitle())); // as --simulate does
        window.markSimulated();
        window.setPauseMs(50);
        QVERIFY(window.init(50));
        hotplug.setFirmwareName(window.burnFileNames().binName);
        window.show();
        // Like a real band, it shows its disk only after its port has gone
        // and it has restarted.
        QElapsedTimer sinceUpgrade;
        bool portGoneFirst = false;
        qint64 restartMs = -1;
        connect(&band, &SimulatedBand::enteredUpgradeMode, this, [&] { sinceUpgrade.start(); });
        QString statusWhileRestarting;
        connect(&hotplug, &HotplugSource::usbDeviceArrived, this, [&] {
            portGoneFirst = band.availablePorts().isEmpty();
            restartMs = sinceUpgrade.elapsed();
            statusWhileRestarting = statusOf(window);
        });
        QTRY_VERIFY_WITH_TIMEOUT(button(window, "pbReset")->isEnabled(), kSlowMs);
        QTest::mouseClick(button(window, "pbReset"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(button(window, "pbBurn")->isEnabled(), kSlowMs);
        // The window looks on its own thread; it sees the port back only after the burn.
        ports.heldFor = QThread::currentThread();
        QVERIFY(portGoneFirst);
        QCOMPARE(statusWhileRestarting, shown("复位成功，手环正在进入升级模式，请稍候.")); // not "connect the band"
        QVERIFY2(restartMs >= 1000, qPrintable(QString::number(restartMs)));
        QTest::qWait(200); // a late port report must not take the prompt away
        QCOMPARE(statusOf(window), shown("请点击烧录按钮."));
        QTest::mouseClick(button(window, "pbBurn"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(window), shown("烧录成功，请等待手环震动重启."), kSlowMs);
        // The band checks the image, leaves as a disk and comes back on its
        // port, where its version is read; the success stays.
        QTRY_VERIFY_WITH_TIMEOUT(hotplug.diskRoot().isEmpty(), kSlowMs);
        QTRY_VERIFY_WITH_TIMEOUT(statusOf(window) != shown("烧录成功，请等待手环震动重启."), kSlowMs);
        QCOMPARE(rowLooks(window), QString("GGGGGGGGG")); // the band's disk held an old DEFAULT.CFG
        const QJsonObject record = localRuns(".").last();
        QCOMPARE(record.value("program").toString(), QStringLiteral("burner"));
        QCOMPARE(record.value("outcome").toString(), QStringLiteral("pass"));
        const QJsonObject details = record.value("details").toObject();
        QCOMPARE(details.value("cfg").toObject().value("sha256").toString().size(), 64);
        QCOMPARE(details.value("bin").toObject().value("sha256_read_back"), details.value("bin").toObject().value("sha256"));
        QCOMPARE(statusOf(window), backWithVersion(details.value("version").toString()));
        // The window hears of the band's return after the burn has ended:
        // Reset stays off for the band just burned.
        ports.looks = 0;
        ports.heldFor = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT(ports.looks > 1, kSlowMs); // the window has looked since
        QVERIFY(!button(window, "pbReset")->isEnabled());
        QVERIFY(!button(window, "pbBurn")->isEnabled());
        if (qEnvironmentVariableIsSet("BURNER_SCREENSHOT"))
            window.grab().save(qEnvironmentVariable("BURNER_SCREENSHOT"));
    }
};

QTEST_MAIN(TestBurnerWindow)
#include "tst_mainwindow.moc"

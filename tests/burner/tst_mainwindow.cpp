// The burner's window driven through its inputs: the virtual band behind the
// port watcher, hot-plug events by hand or from the simulated source, real
// burns into temporary folders.
#include "mainwindow.h"
#include "recordtesting.h"
#include "simulatedband.h"
#include "simulatedhotplugsource.h"
#include "startup.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include <dlfcn.h>

namespace {

// Set by a test that pulls the band out at the last moment.
SimulatedBand *unplugBeforeUpgrade = nullptr;

} // namespace

// The window's upgrade call lands here first: the band can be pulled out just
// before the real library call, whose write then fails on the vanished port.
extern "C" bool sb_upgrade(void)
{
    if (unplugBeforeUpgrade)
        unplugBeforeUpgrade->unplug();
    using Upgrade = bool (*)(void);
    static const auto realUpgrade = reinterpret_cast<Upgrade>(dlsym(RTLD_NEXT, "sb_upgrade"));
    return realUpgrade && realUpgrade();
}

namespace {

const QString kNoBand = QStringLiteral("请连接手环到电脑.");
const QString kReadyToBurn = QStringLiteral("请点击烧录按钮.");
const QString kReconnect = QStringLiteral("请重新连接手环到电脑.");
const QString kBurnPassed = QStringLiteral("烧录成功，请等待手环震动重启.");
const QString kBurnFailed = QStringLiteral("烧录失败，请重新连接手环到电脑.");
const QString kBurning = QStringLiteral("正在烧录，请勿拔出手环.");
constexpr int kSlowMs = 20000; // only a bound against hangs

QStringList debugMessages;
QtMessageHandler previousHandler = nullptr;

void captureMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    debugMessages << text;
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
    QList<SerialPortEntry> availablePorts() const override
    {
        if (!listed)
            return {};
        return {{QStringLiteral("ttyACM%1").arg(SimulatedBand::kPort), true, 0x0451, 0x16AA, location}};
    }
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

QString statusOf(const MainWindow &w) { return w.findChild<QLabel *>("statusText")->text(); }

QString logTail(int chars)
{
    QFile log("run.log");
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()).right(chars) : QString();
}
QPushButton *button(const MainWindow &w, const char *name) { return w.findChild<QPushButton *>(name); }

// One letter per row: W waiting, B burning now, G passed, R failed, ? anything else.
QString rowLooks(const MainWindow &w)
{
    QString looks;
    const auto *table = w.findChild<QTableWidget *>("tvLog");
    for (int row = 0; row < table->rowCount(); ++row) {
        const QString text = table->item(row, 0)->text();
        const QColor colour = table->item(row, 0)->background().color();
        looks += text.isEmpty() && colour == QColor(255, 224, 128) ? 'W'
               : text.isEmpty() && colour == QColor(128, 192, 255) ? 'B'
               : text == QStringLiteral("成功") && colour == Qt::green ? 'G'
               : text == QStringLiteral("失败") && colour == Qt::red   ? 'R' : '?';
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
        QTest::newRow("no def.xml") << true << false << "Failed to find";
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
            QCOMPARE(window.findChild<CComThread *>()->isRunning(), message.isEmpty()); // watcher last
        }
        QCOMPARE(debugMessages.filter("Failed").size(), message.isEmpty() ? 0 : 1);
        QVERIFY(message.isEmpty() || debugMessages.filter(message).size() == 1);
    }

    void startupWithoutDefinitionIsSilent()
    {
        QVERIFY(QFile::rename("def.xml", "def.xml.away"));
        const auto restore = qScopeGuard([] { QFile::rename("def.xml.away", "def.xml"); });
        BoxCloser closer;
        QCOMPARE(runBurner(*qApp, {"burner", "--simulate"}), -1);
        QCOMPARE(closer.seen, QStringList());
        for (const QWidget *widget : QApplication::topLevelWidgets())
            QVERIFY(!widget->isVisible());
    }

    void reset_data()
    {
        QTest::addColumn<bool>("portListed");
        QTest::addColumn<bool>("bandAnswers");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("resetEnabledAfter");
        QTest::addColumn<bool>("pulledBeforeUpgrade");
        QTest::newRow("no port") << false << true << "失败/端口无效" << kNoBand << false << false;
        QTest::newRow("open fails") << true << false << "失败/端口打开失败" << "复位失败，请重新连接手环到电脑." << true << false;
        QTest::newRow("upgrade fails") << true << true << "失败/端口通信失败" << "复位失败，请重新连接手环到电脑." << false << true;
        QTest::newRow("upgrade sent") << true << true << "" << "复位成功，请重新连接手环到电脑." << false << false;
    }
    void reset()
    {
        QFETCH(bool, portListed);
        QFETCH(bool, bandAnswers);
        QFETCH(QString, box);
        QFETCH(QString, status);
        QFETCH(bool, resetEnabledAfter);
        QFETCH(bool, pulledBeforeUpgrade);
        SimulatedBand band;
        QSignalSpy upgrades(&band, &SimulatedBand::enteredUpgradeMode);
        QVERIFY(!bandAnswers || band.plugIn());
        ListedPort ports;
        ports.listed = portListed;
        FakeHotplug hotplug;
        MainWindow window(&ports, &hotplug);
        window.findChild<CComThread *>()->setPollInterval(20);
        QVERIFY(window.init());
        BoxCloser closer;
        if (portListed) {
            QTRY_VERIFY_WITH_TIMEOUT(button(window, "pbReset")->isEnabled(), kSlowMs);
            unplugBeforeUpgrade = pulledBeforeUpgrade ? &band : nullptr;
            auto forget = qScopeGuard([] { unplugBeforeUpgrade = nullptr; });
            QTest::mouseClick(button(window, "pbReset"), Qt::LeftButton);
        } else {
            window.slotOnPbReset(); // the button itself is disabled then
        }
        QCOMPARE(closer.seen, box.isEmpty() ? QStringList() : QStringList{box});
        QCOMPARE(statusOf(window), status);
        QCOMPARE(button(window, "pbReset")->isEnabled(), resetEnabledAfter);
        QTRY_COMPARE_WITH_TIMEOUT(upgrades.count(), box.isEmpty() ? 1 : 0, kSlowMs);
    }

    // Two bands in upgrade mode on one hub: the disk in the reset band's port is its disk.
    void resetBandsDiskByItsPlace()
    {
        SimulatedBand band;
        QVERIFY(band.plugIn());
        ListedPort ports;
        ports.location = QStringLiteral("1-1.4.2");
        FakeHotplug hotplug;
        MainWindow window(&ports, &hotplug);
        window.findChild<CComThread *>()->setPollInterval(20);
        QVERIFY(window.init());
        QTRY_VERIFY_WITH_TIMEOUT(button(window, "pbReset")->isEnabled(), kSlowMs);
        QTest::mouseClick(button(window, "pbReset"), Qt::LeftButton);

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
        QTest::newRow("band, then its volume") << "band own" << kReadyToBurn;
        QTest::newRow("volume of unknown owner") << "band local" << kReadyToBurn;
        QTest::newRow("unrelated device only") << "other own" << kNoBand;
        QTest::newRow("volume before band") << "own band" << kNoBand;
        QTest::newRow("media volume") << "band media" << kNoBand;
        QTest::newRow("network volume") << "band net" << kNoBand;
        QTest::newRow("operator's USB stick") << "band stick" << kNoBand;
        QTest::newRow("volume on no USB device") << "band internal" << kNoBand;
        QTest::newRow("unrelated device after band") << "band other own" << kReadyToBurn;
        QTest::newRow("unrelated removal") << "band own otherGone" << kReadyToBurn;
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
            if (event == "band" || event == "other")
                emit hotplug.usbDeviceArrived(0x0451, event == "band" ? 0x16A8 : 0x16AA);
            else if (event == "gone" || event == "otherGone")
                emit hotplug.usbDeviceLeft(event == "gone" ? 0x0451 : 0x0781, 0x16A8);
            else if (event == "portLost")
                window.slotOnSBConnected(false);
            else if (event == "internal")
                emit hotplug.volumeMounted({"/mnt/", Kind::Local, true, 0, 0});
            else if (event == "own" || event == "stick")
                emit hotplug.volumeMounted({"/media/d/", Kind::Local, true, 0x0451, quint16(event == "own" ? 0x16A8 : 0x16AA)});
            else
                emit hotplug.volumeMounted({"/media/d/", event == "local" ? Kind::Local : event == "media" ? Kind::Media : Kind::Network});
        }
        QCOMPARE(button(window, "pbBurn")->isEnabled(), status == kReadyToBurn);
        QCOMPARE(statusOf(window), status);
    }

    void burn_data()
    {
        QTest::addColumn<bool>("oldConfigOnDisk");
        QTest::addColumn<bool>("imageInBin");
        QTest::addColumn<QString>("looks");
        QTest::addColumn<QString>("status");
        QTest::newRow("passes, old configuration removed") << true << true << "GGGGGGGGG" << kBurnPassed;
        QTest::newRow("passes, clean disk") << false << true << "GGGGGWGGG" << kBurnPassed;
        QTest::newRow("no image in bin/") << false << false << "GGRWWWWWR" << "烧录失败，请重新连接手环到电脑.";
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
        QVERIFY(imageInBin || QFile::rename("bin/band.bin", "band.bin.away"));
        const auto restore = qScopeGuard([] { QFile::rename("band.bin.away", "bin/band.bin"); });
        FakeHotplug hotplug;
        MainWindow window(nullptr, &hotplug);
        QVERIFY(window.init());
        window.findChild<CBurnProcess *>()->setPauseMs(10);
        hotplug.mountBandDisk(disk.path());
        QTest::mouseClick(button(window, "pbBurn"), Qt::LeftButton);
        QCOMPARE(statusOf(window), kBurning);
        QTRY_VERIFY_WITH_TIMEOUT(rowLooks(window).at(8) != 'W', kSlowMs);
        QCOMPARE(rowLooks(window), looks);
        QCOMPARE(statusOf(window), status);
        QCOMPARE(window.findChild<QLabel *>("statusIcon")->pixmap().toImage(), QPixmap(status == kBurnPassed ? "./rc/ok.png" : "./rc/retry.png").toImage());
        QVERIFY(!button(window, "pbBurn")->isEnabled());
        // The next band, on its port or as a disk, starts with a clean table.
        window.slotOnSBConnected(true);
        QCOMPARE(rowLooks(window), QString("WWWWWWWWW"));
        window.slotOnProcessOk(7, true);
        hotplug.mountBandDisk(disk.path());
        QCOMPARE(rowLooks(window), QString("WWWWWWWWW"));
    }

    void removalStopsBurn()
    {
        QTemporaryDir disk;
        FakeHotplug hotplug;
        MainWindow window(nullptr, &hotplug);
        QVERIFY(window.init());
        auto *burnProcess = window.findChild<CBurnProcess *>();
        burnProcess->setPauseMs(60000); // the burn waits before its first copy
        hotplug.mountBandDisk(disk.path());
        QTest::mouseClick(button(window, "pbBurn"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(rowLooks(window), QString("GGGGGWBWW"), kSlowMs);
        emit hotplug.usbDeviceLeft(0x0451, 0x16A8);
        QCOMPARE(statusOf(window), kReconnect);
        // The step that was waiting to copy failed, and so did the unit.
        QTRY_COMPARE_WITH_TIMEOUT(rowLooks(window), QString("GGGGGWRWR"), kSlowMs);
        QTRY_VERIFY_WITH_TIMEOUT(!burnProcess->isRunning(), kSlowMs);
        QCOMPARE(statusOf(window), kBurnFailed);
        QVERIFY(logTail(60).contains("]Failed to copy band.cfg\n[") && logTail(60).endsWith("] finish"));
        QVERIFY(!QFile::exists(disk.filePath("band.cfg")));
    }

    // Closed while the burn waits before its first copy: the run is kept as interrupted.
    void closedMidBurn()
    {
        QTemporaryDir disk;
        FakeHotplug hotplug;
        {
            MainWindow window(nullptr, &hotplug);
            QVERIFY(window.init());
            window.findChild<CBurnProcess *>()->setPauseMs(60000);
            hotplug.mountBandDisk(disk.path());
            QTest::mouseClick(button(window, "pbBurn"), Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(rowLooks(window), QString("GGGGGWBWW"), kSlowMs);
        }
        const QJsonObject record = localRuns(".").last();
        QCOMPARE(record.value("outcome").toString(), QStringLiteral("interrupted"));
        QCOMPARE(record.value("failed_step").toString(), QStringLiteral("CNC"));
        QCOMPARE(record.value("details").toObject().value("disk").toString(), disk.path() + "/");
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
        window.findChild<CBurnProcess *>()->setPauseMs(0);
        connect(window.findChild<CBurnProcess *>(), &CBurnProcess::stepStarted, this, [&hotplug](uint idx) {
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
        QTRY_COMPARE_WITH_TIMEOUT(rowLooks(window), QString("GGGGGWGRR"), kSlowMs);
        QTRY_VERIFY_WITH_TIMEOUT(!window.findChild<CBurnProcess *>()->isRunning(), kSlowMs);
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
        QCOMPARE(rowLooks(window), QString("WWWWWWWWW"));
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
        const auto *table = window.findChild<QTableWidget *>("tvLog");
        const QStringList shown{window.windowTitle(), table->horizontalHeaderItem(0)->text(),
                                button(window, "pbReset")->text(), button(window, "pbBurn")->text(),
                                table->item(0, 0)->text(), table->item(1, 0)->text(),
                                QCoreApplication::translate("MainWindow", "正在烧录，请勿拔出手环.")};
        qApp->removeTranslator(&english);
        QCOMPARE(shown, QStringList({"Burning Tool", "Result", "Reset", "Burn", "Succeeded", "Failed",
                                     "Burning, do not unplug the band."}));
    }

    void wholeCycleWithSimulatedBand()
    {
        SimulatedBand band;
        QVERIFY(band.plugIn());
        SimulatedHotplugSource hotplug(&band);
        MainWindow window(&band, &hotplug);
        window.findChild<CComThread *>()->setPollInterval(50);
        window.findChild<CBurnProcess *>()->setPauseMs(50);
        QVERIFY(window.init());
        hotplug.setFirmwareName(window.burnFileNames().binName);
        window.show();
        // Like a real band, it shows its disk only after its port has gone
        // and it has restarted.
        QElapsedTimer sinceUpgrade;
        bool portGoneFirst = false;
        qint64 restartMs = -1;
        connect(&band, &SimulatedBand::enteredUpgradeMode, this, [&] { sinceUpgrade.start(); });
        connect(&hotplug, &HotplugSource::usbDeviceArrived, this, [&] {
            portGoneFirst = band.availablePorts().isEmpty();
            restartMs = sinceUpgrade.elapsed();
        });
        QTRY_VERIFY_WITH_TIMEOUT(button(window, "pbReset")->isEnabled(), kSlowMs);
        QTest::mouseClick(button(window, "pbReset"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(button(window, "pbBurn")->isEnabled(), kSlowMs);
        QVERIFY(portGoneFirst);
        QVERIFY2(restartMs >= 1000, qPrintable(QString::number(restartMs)));
        QTest::qWait(200); // a late port report must not take the prompt away
        QCOMPARE(statusOf(window), kReadyToBurn);
        QTest::mouseClick(button(window, "pbBurn"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(window), kBurnPassed, kSlowMs);
        QCOMPARE(rowLooks(window), QString("GGGGGGGGG")); // the band's disk held an old DEFAULT.CFG
        const QJsonObject record = localRuns(".").last();
        QCOMPARE(record.value("program").toString(), QStringLiteral("burner"));
        QCOMPARE(record.value("outcome").toString(), QStringLiteral("pass"));
        QCOMPARE(record.value("details").toObject().value("cfg").toObject().value("sha256").toString().size(), 64);
        if (qEnvironmentVariableIsSet("BURNER_SCREENSHOT"))
            window.grab().save(qEnvironmentVariable("BURNER_SCREENSHOT"));
        // The band checks the image, leaves as a disk and comes back on its port.
        QTRY_VERIFY_WITH_TIMEOUT(hotplug.diskRoot().isEmpty(), kSlowMs);
        QTRY_VERIFY_WITH_TIMEOUT(button(window, "pbReset")->isEnabled(), kSlowMs);
        QVERIFY(!button(window, "pbBurn")->isEnabled());
    }
};

QTEST_MAIN(TestBurnerWindow)
#include "tst_mainwindow.moc"

#include "boxplacement.h"
#include "mainwindow.h"
#include "portsource.h"
#include "recordtesting.h"
#include "simulatedband.h"
#include "translation.h"

#include <bandsim/virtualband.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QMutex>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include <dlfcn.h>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif
#include <functional>

namespace {

// Set by a test that pulls the band out at the last moment.
SimulatedBand *unplugBeforeReset = nullptr;

} // namespace

// The run's restart call lands here first: the band can be pulled out just
// before the real library call, whose write then fails on the vanished port.
extern "C" bool sb_link_reset(sb_link *link)
{
    if (unplugBeforeReset)
        unplugBeforeReset->unplug();
    using Reset = bool (*)(sb_link *);
    static const auto realReset = reinterpret_cast<Reset>(dlsym(RTLD_NEXT, "sb_link_reset"));
    return realReset && realReset(link);
}

namespace {

// Closes each message box that opens, after `whileOpen` had its turn, and
// keeps the title, text and buttons of each.
struct BoxCloser : QObject {
    explicit BoxCloser(std::function<void(const QString &)> whileOpen = {})
    {
        connect(&timer, &QTimer::timeout, this, [this, whileOpen] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            seen << box->windowTitle() << box->text() << QString::number(box->standardButtons());
            geometries << box->frameGeometry();
            if (whileOpen)
                whileOpen(box->windowTitle());
            box->reject();
        });
        timer.start(20);
    }
    QStringList seen;
    QList<QRect> geometries;
    QTimer timer;
};

// Counts the paint events of a widget, and those while a condition held.
struct PaintWatch : QObject {
    PaintWatch(QWidget *widget, std::function<bool()> condition) : condition(std::move(condition))
    {
        widget->installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && condition())
            ++whileTrue;
        return false;
    }
    std::function<bool()> condition;
    int whileTrue = 0;
};

// Every text the window shows: title, labels, buttons, table headers and cells.
QStringList visibleTexts(const QMainWindow *window)
{
    QStringList texts{window->windowTitle()};
    for (const QLabel *label : window->findChildren<QLabel *>())
        if (label->isVisible())
            texts << label->text();
    for (const QAbstractButton *button : window->findChildren<QAbstractButton *>())
        if (button->isVisible())
            texts << button->text();
    for (const QTableWidget *table : window->findChildren<QTableWidget *>()) {
        for (int row = 0; row < table->rowCount(); ++row)
            texts << table->verticalHeaderItem(row)->text() << table->item(row, 0)->text();
        texts << table->horizontalHeaderItem(0)->text();
    }
    return texts;
}

// The band's port as a slow USB stack reports it: while held, the list the
// watcher gets stays as it was, even after the band went.
struct LingeringPorts : PortSource {
    explicit LingeringPorts(const SimulatedBand *band) : band(band) {}
    QList<SerialPortEntry> availablePorts() const override
    {
        QMutexLocker lock(&mutex);
        if (!held)
            listed = band->availablePorts();
        return listed;
    }
    void watchChanges(QObject *context, const std::function<void()> &changed) const override
    {
        band->watchChanges(context, changed);
    }
    QString devicePath(const SerialPortEntry &entry) const override { return band->devicePath(entry); }
    void hold(bool on)
    {
        QMutexLocker lock(&mutex);
        held = on;
    }
    const SimulatedBand *band;
    mutable QMutex mutex;
    mutable QList<SerialPortEntry> listed;
    bool held = false;
};

// True while this process has the device at path open.
bool processHolds(const QString &path)
{
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &fd : fds.entryList(QDir::Files | QDir::System))
        if (QFile::symLinkTarget(fds.filePath(fd)).startsWith(path))
            return true;
    return false;
}

const QString kOk = QString::number(QMessageBox::Ok), kOkCancel = QString::number(QMessageBox::Ok | QMessageBox::Cancel);
const QStringList kSuccessBox{"SUCCESS", "测试成功，请拔掉手环\n一定要重新拔插手环，再做测试", kOk};
const QStringList kFailBox{"FAIL", "测试失败，请拔掉手环\n多次失败，请拔插手环并重启本程序", kOkCancel};
const QStringList kNoPortBox{"失败", "端口无效", kOkCancel};

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void passingRunThenBandGone();
    void buttonWaitsForTheRestartedBand();
    void failingRun_data();
    void failingRun();
    void restartFailsWhenBandIsPulled();
    void portHeldByAnotherProgram();
    void recordProblemShownBesideTheResult();
    void paintsWhileTheBandIsSilent();
    void closingMidRunStopsAndKeepsTheRecord();
    void stationMistakeStartsNoBand();
    void englishShowsNoChinese();
    void boxBesideTheWindow_data();
    void boxBesideTheWindow();

private:
    // Each cell's look: "" not run (no text, no colour), "green" passed
    // (with a text), "Err/red" failed; anything else is shown as it is.
    QStringList cells() const
    {
        QStringList list;
        for (int row = 0; row < table->rowCount(); ++row) {
            const QTableWidgetItem *cell = table->item(row, 0);
            const QBrush brush = cell->background();
            const QString text = cell->text();
            if (brush.style() == Qt::NoBrush)
                list << text;
            else if (brush.style() == Qt::SolidPattern && brush.color() == Qt::green && !text.isEmpty())
                list << "green";
            else if (brush.style() == Qt::SolidPattern && brush.color() == Qt::red)
                list << text + "/red";
            else
                list << text + "/" + brush.color().name();
        }
        return list;
    }

    // The looks after a run that failed at failedRow.
    static QStringList failedAt(int failedRow)
    {
        QStringList looks(12, QString());
        for (int row = 0; row < failedRow; ++row)
            looks[row] = "green";
        looks[failedRow] = "Err/red";
        return looks;
    }

    // The result box must leave every row of the table in view.
    bool coversTable(const QRect &box) const
    {
        const QWidget *rows = table->viewport();
        return box.intersects(QRect(rows->mapToGlobal(QPoint(0, 0)), rows->size()));
    }

    QTemporaryDir workDir;
    SimulatedBand *band = nullptr;
    MainWindow *window = nullptr;
    QTableWidget *table = nullptr;
    QPushButton *button = nullptr;
    QString device;
};

void TestMainWindow::initTestCase()
{
    QVERIFY(workDir.isValid() && QDir::setCurrent(workDir.path()));
    QFile def(QStringLiteral("def.xml"));
    QVERIFY(def.open(QIODevice::WriteOnly));
    def.write("<QAT_DEF><def type='person'><settings weight='60' sex='female' age='25' goal='8000'/></def></QAT_DEF>");
}

void TestMainWindow::init()
{
    band = new SimulatedBand;
    band->setReplugDelayAfterReset(-1);
    window = new MainWindow(band);
    window->move(0, 0);
    window->show();
    table = window->resultTable();
    button = window->testButton();
    QVERIFY(window->init());
    QCOMPARE(cells(), QStringList(12, QString())); // nothing run, nothing green
    QVERIFY(!button->isEnabled());
    QVERIFY(band->plugIn());
    device = QString::fromStdString(band->band().devicePath());
    QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 10000);
}

void TestMainWindow::cleanup()
{
    QFile::remove(QStringLiteral("station.ini"));
    delete window;
    delete band;
}

void TestMainWindow::passingRunThenBandGone()
{
    bool enabledWhileOpen = true;
    QList<QJsonObject> keptAtBox;
    BoxCloser boxes([&](const QString &title) {
        if (title != QLatin1StringView("SUCCESS"))
            return;
        keptAtBox = localRuns(".");
        enabledWhileOpen = button->isEnabled();
    });
    button->click();
    QVERIFY(!button->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(boxes.seen, kSuccessBox, 10000);
    QVERIFY(!coversTable(boxes.geometries.value(0)));
    // On the disk before the operator saw the result.
    QVERIFY(!keptAtBox.isEmpty());
    const QJsonObject record = keptAtBox.last();
    QCOMPARE(record.value("outcome").toString(), QStringLiteral("pass"));
    QCOMPARE(record.value("program").toString(), QStringLiteral("tester"));
    const QJsonObject details = record.value("details").toObject();
    QCOMPARE(details.value("conf_read"), details.value("conf_sent"));
    QCOMPARE(details.value("conf_sent").toObject().value("goal").toInt(), 8000);
    QVERIFY(QRegularExpression("^([0-9a-f]{2}:){5}[0-9a-f]{2}$").match(record.value("unit").toString()).hasMatch());
    QVERIFY(!processHolds(device));

    const sb_conf_t stored = band->band().conf();
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(&stored), 6), QByteArray("\x3c\xaa\x01\x19\x40\x1f", 6));
    QStringList expected(12, QStringLiteral("OK"));
    const sb_version_t version = band->band().version();
    const uint8_t *v = version.version;
    expected[1] = QStringLiteral("%1.%2.%3.%4").arg(v[0]).arg(v[1]).arg(v[2]).arg(v[3]);
    for (const auto &frame : band->band().commandsReceived()) {
        const uint8_t *t = frame.data() + SB_HEAD_SIZE; // second, minute, hour, day, month, year
        if (frame[1] == SB_OP_WRITE && frame[2] == SB_ITEM_TIME)
            expected[2] = QDateTime(QDate(2000 + t[5], t[4] + 1, t[3] + 1), QTime(t[2], t[1], t[0]))
                              .toString("yyyy-MM-dd HH:mm:ss");
    }
    QStringList shown;
    for (int row = 0; row < 12; ++row)
        shown << table->item(row, 0)->text();
    QVERIFY2(QRegularExpression("^20\\d\\d-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$").match(shown[3]).hasMatch(), qPrintable(shown[3]));
    shown[3] = "OK"; // the band's clock, read back
    QCOMPARE(shown, expected);
    QCOMPARE(cells(), QStringList(12, "green"));
    if (qEnvironmentVariableIsSet("TESTER_GRAB"))
        window->grab().save(qEnvironmentVariable("TESTER_GRAB"));

    // The band restarts: no new run until the watcher has seen it again. A
    // press that slipped through says there is no band, and nothing more:
    // at once (the watcher may not have seen the band go yet), and later.
    QVERIFY(!enabledWhileOpen);
    QVERIFY(!button->isEnabled());
    const int records = localRuns(".").size();
    window->slotOnpbTest();
    QTRY_VERIFY(!window->slotManager()->present(0)); // seen gone before it comes back
    QVERIFY(!button->isEnabled());
    window->slotOnpbTest();
    QCOMPARE(boxes.seen, kSuccessBox + kNoPortBox + kNoPortBox);
    QCOMPARE(localRuns(".").size(), records);
    QCOMPARE(cells(), QStringList(12, "green"));

    QVERIFY(band->plugIn());
    QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 10000);
    band->unplug();
    QTRY_VERIFY_WITH_TIMEOUT(!button->isEnabled(), 10000);
}

// After a pass the band restarts; its port may still be listed for a while.
// The button stays disabled until the watcher has seen the band go and
// come back.
void TestMainWindow::buttonWaitsForTheRestartedBand()
{
    delete window;
    LingeringPorts ports(band);
    window = new MainWindow(&ports);
    window->show();
    QVERIFY(window->init());
    button = window->testButton();
    QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 10000);

    ports.hold(true);
    BoxCloser boxes;
    button->click();
    QTRY_COMPARE_WITH_TIMEOUT(boxes.seen, kSuccessBox, 10000);
    window->slotManager()->rescan();
    QVERIFY(window->slotManager()->present(0));
    QVERIFY(!button->isEnabled()); // the port is still listed, but the band restarts
    ports.hold(false);
    window->slotManager()->rescan();
    QTRY_VERIFY(!window->slotManager()->present(0));
    QVERIFY(band->plugIn());
    QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 10000);
    delete window; // before the port source it watches
    window = nullptr;
}

void TestMainWindow::failingRun_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<bandsim::Fault>("fault");
    QTest::addColumn<int>("failedRow");
    QTest::addColumn<QString>("outcome");

    QTest::newRow("no version") << int(SB_ITEM_VERSION) << bandsim::Fault::NoAnswer << 1 << "fail";
    QTest::newRow("time refused") << int(SB_ITEM_TIME) << bandsim::Fault::RefusedWrite << 2 << "fail";
    QTest::newRow("settings stored differently") << int(SB_ITEM_CONF) << bandsim::Fault::StoresDifferentValue << 7 << "fail";
    // Interrupted once the watcher has seen the port go, a failure before that.
    QTest::newRow("band drops off mid-run") << int(SB_ITEM_CONF) << bandsim::Fault::DropsOffAfterAnswer << 7
                                            << "fail|interrupted";
}

void TestMainWindow::failingRun()
{
    QFETCH(int, item);
    QFETCH(bandsim::Fault, fault);
    QFETCH(int, failedRow);
    QFETCH(QString, outcome);

    band->band().setFault(uint8_t(item), fault);
    BoxCloser boxes;
    button->click();
    QTRY_COMPARE_WITH_TIMEOUT(boxes.seen, kFailBox, 10000);
    QVERIFY(!coversTable(boxes.geometries.value(0)));
    // The steps before the failure passed; those after it never ran.
    QCOMPARE(cells(), failedAt(failedRow));
    // Live again only while the band is there.
    QTRY_COMPARE_WITH_TIMEOUT(button->isEnabled(), band->isPluggedIn(), 5000);
    const QJsonObject record = localRuns(".").last();
    QVERIFY(QRegularExpression("^(" + outcome + ")$").match(record.value("outcome").toString()).hasMatch());
    QCOMPARE(record.value("failed_row").toInt(), failedRow);
}

void TestMainWindow::restartFailsWhenBandIsPulled()
{
    unplugBeforeReset = band;
    BoxCloser boxes;
    button->click();
    QTRY_COMPARE_WITH_TIMEOUT(boxes.seen, kFailBox, 10000);
    unplugBeforeReset = nullptr;
    QCOMPARE(cells(), failedAt(10));
    QTRY_VERIFY_WITH_TIMEOUT(!button->isEnabled(), 5000);
}

// A port another program holds is no band fault: the box and the record say who holds it.
void TestMainWindow::portHeldByAnotherProgram()
{
#ifdef _WIN32
    QSKIP("the virtual band is a pipe here, which no other program can be made to hold");
#else
    const int holder = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(holder >= 0);
    QCOMPARE(::flock(holder, LOCK_EX | LOCK_NB), 0);
    BoxCloser boxes;
    button->click();
    QTRY_COMPARE_WITH_TIMEOUT(boxes.seen.size(), 3, 10000);
    ::close(holder);
    QCOMPARE(boxes.seen.value(1), QStringLiteral("端口 %1 被其他程序占用，请关闭该程序后再测试").arg(device));
    QCOMPARE(cells(), failedAt(0));
    QVERIFY(band->band().commandsReceived().empty());
    const QJsonObject record = localRuns(".").last();
    QCOMPARE(record.value("failed_step").toString(), QStringLiteral("open port"));
    QCOMPARE(record.value("details").toObject().value("error").toString(),
             QStringLiteral("%1 is in use by another program").arg(device));
#endif
}

// A results.db that cannot take the record: the status bar says so, and the
// run's own result is shown as it is.
void TestMainWindow::recordProblemShownBesideTheResult()
{
    QFile::remove("results.db-wal");
    QFile::remove("results.db-shm");
    QFile db("results.db");
    QVERIFY(db.open(QIODevice::WriteOnly | QIODevice::Truncate));
    db.write(QByteArray(4096, 'x'));
    db.close();
    delete window; // so that the store opens the damaged file afresh
    window = new MainWindow(band);
    window->show();
    QVERIFY(window->init());
    button = window->testButton();
    QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 10000);
    const QLabel *status = window->findChild<QLabel *>(QStringLiteral("recordStatus"));
    QVERIFY(status && status->text().isEmpty());

    BoxCloser boxes;
    button->click();
    QTRY_COMPARE_WITH_TIMEOUT(boxes.seen, kSuccessBox, 10000);
    QVERIFY2(status->text().startsWith("记录未保存: results.db is damaged"), qPrintable(status->text()));
    delete window; // Windows removes no file that is still open
    window = nullptr;
    QVERIFY(QFile::remove("results.db"));
}

// A step waiting on a silent band holds neither the window's painting nor
// its events: the result comes when the worker reports it.
void TestMainWindow::paintsWhileTheBandIsSilent()
{
    band->band().setFault(SB_ITEM_VERSION, bandsim::Fault::NoAnswer);
    BoxCloser boxes;
    bool pressed = false;
    // Painted after the press and before the run's result was in.
    PaintWatch paints(table->viewport(), [&] { return pressed && table->item(1, 0)->text().isEmpty(); });
    pressed = true;
    button->click();
    QVERIFY(boxes.seen.isEmpty()); // the press returned while the step waits
    QVERIFY(!button->isEnabled());
    table->viewport()->update();
    QTRY_VERIFY_WITH_TIMEOUT(paints.whileTrue > 0, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(boxes.seen, kFailBox, 10000);
    QCOMPARE(cells(), failedAt(1));
}

// Closing the window mid-run stops the sequence before its next step, waits
// for the step under way (a silent band's budget) and keeps the record.
void TestMainWindow::closingMidRunStopsAndKeepsTheRecord()
{
    band->band().setFault(SB_ITEM_VERSION, bandsim::Fault::NoAnswer);
    const int records = localRuns(".").size();
    BoxCloser boxes;
    button->click();
    QTRY_VERIFY(!band->band().commandsReceived().empty()); // waiting for the version now
    QElapsedTimer closing;
    closing.start();
    delete window;
    window = nullptr;
    QVERIFY2(closing.elapsed() < 5000, qPrintable(QString::number(closing.elapsed())));
    QCOMPARE(boxes.seen, QStringList());
    const QList<QJsonObject> runs = localRuns(".");
    QCOMPARE(runs.size(), records + 1);
    QCOMPARE(runs.last().value("outcome").toString(), QStringLiteral("interrupted"));
    QCOMPARE(runs.last().value("failed_row").toInt(), 1);
    QCOMPARE(band->band().commandsReceived().size(), size_t(1)); // nothing after the stop
}

// A mistake in station.ini: the band is seen and never started, and the
// window says why in the operator's language.
void TestMainWindow::stationMistakeStartsNoBand()
{
    QFile ini(QStringLiteral("station.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[station]\nslots=17\n");
    ini.close();
    delete window;
    window = new MainWindow(band);
    window->show();
    QVERIFY(window->init());
    QTRY_VERIFY(window->slotManager()->present(0));
    QVERIFY(!window->testButton()->isEnabled());
    window->slotOnpbTest();
    QVERIFY(band->band().commandsReceived().empty());
    QCOMPARE(visibleTexts(window).filter(QStringLiteral("slots=17 不是 1 到 16 的数字")).size(), 1);
}

// Under English every text of the window and of its boxes is English.
void TestMainWindow::englishShowsNoChinese()
{
    QTranslator english;
    QVERIFY(english.load(translationFileFor(QLocale::English), ":/translations"));
    qApp->installTranslator(&english);
    delete window;
    window = new MainWindow(band);
    window->markSimulated();
    window->show();
    QVERIFY(window->init());
    table = window->resultTable();
    button = window->testButton();
    QStringList texts = visibleTexts(window);
    QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 10000);

    QStringList boxTexts;
    BoxCloser boxes([&](const QString &) {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        boxTexts << box->informativeText();
        for (const QAbstractButton *b : box->buttons())
            boxTexts << b->text();
    });
    button->click(); // passes; the band restarts and stays away
    QTRY_COMPARE_WITH_TIMEOUT(boxes.seen.size(), 3, 10000);
    texts << visibleTexts(window);
    if (qEnvironmentVariableIsSet("TESTER_GRAB_ENGLISH"))
        window->grab().save(qEnvironmentVariable("TESTER_GRAB_ENGLISH"));
    window->slotOnpbTest(); // no band
    QTRY_VERIFY(!window->slotManager()->present(0)); // seen gone before it comes back
    QVERIFY(band->plugIn());
    QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 10000);
    band->band().setFault(SB_ITEM_CONF, bandsim::Fault::StoresDifferentValue);
    button->click();
    QTRY_COMPARE_WITH_TIMEOUT(boxes.seen.size(), 9, 10000);
    texts << visibleTexts(window) << boxes.seen << boxTexts;
    qApp->removeTranslator(&english);

    QCOMPARE(boxes.seen.value(1), QStringLiteral("Test passed. Unplug the band.\nAlways unplug and plug in the band again before the next test."));
    QCOMPARE(window->windowTitle(), QStringLiteral("[simulated band] Band tester"));
    const QRegularExpression chinese("[\\x{3000}-\\x{303F}\\x{4E00}-\\x{9FFF}\\x{FF00}-\\x{FFEF}]");
    QCOMPARE(texts.filter(chinese), QStringList());
    QCOMPARE(texts.filter("simulated band]").size(), 6); // in the title and inside the window
}

void TestMainWindow::boxBesideTheWindow_data()
{
    QTest::addColumn<QRect>("window");
    QTest::addColumn<QPoint>("box"); // top-left of a 300 x 150 box on a 1024 x 768 screen

    QTest::newRow("room on the right") << QRect(100, 50, 220, 555) << QPoint(328, 50);
    QTest::newRow("room on the left only") << QRect(700, 300, 220, 555) << QPoint(392, 300);
    QTest::newRow("no room either side") << QRect(300, 0, 450, 555) << QPoint(724, 618);
}

void TestMainWindow::boxBesideTheWindow()
{
    QFETCH(QRect, window);
    QFETCH(QPoint, box);
    const QRect screen(0, 0, 1024, 768);
    const QPoint at = besidePosition(window, QSize(300, 150), screen);
    QCOMPARE(at, box);
    QVERIFY(screen.contains(QRect(at, QSize(300, 150))));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"

// One band's run without a window, against real virtual bands: the result,
// the steps as they start, the record, and bands that fail, fall silent,
// are pulled out, lose their worker or are stopped, alone and several at
// once; and the station both windows show, with its manager.
#include "bandhub.h"
#include "recordtesting.h"
#include "testcontroller.h"
#include "teststation.h"

#include <bandsim/virtualband.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr int kRunTimeoutMs = 15000;
const sb_conf_t kPerson{60, 170, 1, 25, 8000};
const TestDefinition kDefinition{kPerson, {{1, 0}}, std::nullopt, {}};

// A band with its own controller, its record kept in the test's folder.
struct Bench {
    explicit Bench(RecordStore *store) : controller(store)
    {
        controller.setPresenceCheck([this] { return band.isPluggedIn(); });
    }
    bool plugIn() { return band.plugIn(); }
    bool start(const QString &location = QStringLiteral("1-1.1"),
               const std::optional<TestDefinition> &definition = kDefinition)
    {
        return controller.start(QString::fromStdString(band.devicePath()), location, definition);
    }
    bandsim::VirtualBand band;
    TestController controller;
};

} // namespace

class TestTestController : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir::setCurrent(dir->path()));
        store = std::make_unique<RecordStore>(QStringLiteral("."), 0);
        QFile def(QStringLiteral("def.xml"));
        QVERIFY(def.open(QIODevice::WriteOnly));
        def.write("<QAT_DEF><def type='person'><settings weight='60' sex='female' age='25' goal='8000'/></def></QAT_DEF>");
    }
    void cleanup()
    {
        store.reset();
        dir.reset();
    }

    void passReportsEachStepAndKeepsTheRecord()
    {
        Bench b(store.get());
        QVERIFY(b.plugIn());
        QSignalSpy steps(&b.controller, &TestController::stepStarted);
        QSignalSpy finished(&b.controller, &TestController::finished);
        QVERIFY(b.start(QStringLiteral("1-1.3")));
        QVERIFY(b.controller.isRunning());
        QVERIFY(!b.start()); // one run at a time
        QVERIFY(finished.wait(kRunTimeoutMs));
        QVERIFY(!b.controller.isRunning());
        QVERIFY(finished.value(0).value(0).value<TestResult>().passed());
        QList<int> rows;
        for (const QList<QVariant> &step : std::as_const(steps))
            rows << step.value(0).toInt();
        // Every step but the last, whose port the pass closes, in order.
        QCOMPARE(rows, QList<int>({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
        const QList<QJsonObject> runs = localRuns(QStringLiteral("."));
        QCOMPARE(runs.size(), 1);
        QCOMPARE(runs[0].value("outcome").toString(), QStringLiteral("pass"));
        QCOMPARE(runs[0].value("usb_path").toString(), QStringLiteral("1-1.3"));
        QCOMPARE(runs[0].value("id").toString(), b.controller.record().id.toString(QUuid::WithoutBraces));
        QCOMPARE(b.controller.recordKept(), RecordStore::Kept::Stored);
        QVERIFY(b.controller.recordProblem().isEmpty());
    }

    void endsOnItsOwn_data()
    {
        QTest::addColumn<int>("item");
        QTest::addColumn<bandsim::Fault>("fault");
        QTest::addColumn<bool>("withDefinition");
        QTest::addColumn<int>("failedRow");
        QTest::addColumn<QString>("outcome");

        using bandsim::Fault;
        QTest::newRow("silent band") << int(SB_ITEM_VERSION) << Fault::NoAnswer << true << 1 << "fail";
        QTest::newRow("time refused") << int(SB_ITEM_TIME) << Fault::RefusedWrite << true << 2 << "fail";
        QTest::newRow("settings stored differently") << int(SB_ITEM_CONF) << Fault::StoresDifferentValue << true << 7
                                                     << "fail";
        QTest::newRow("no def.xml") << 0 << Fault::None << false << 4 << "fail";
        QTest::newRow("pulled out mid-run") << int(SB_ITEM_CONF) << Fault::DropsOffAfterAnswer << true << 7
                                            << "interrupted";
    }

    void endsOnItsOwn()
    {
        QFETCH(int, item);
        QFETCH(bandsim::Fault, fault);
        QFETCH(bool, withDefinition);
        QFETCH(int, failedRow);
        QFETCH(QString, outcome);

        Bench b(store.get());
        QVERIFY(b.plugIn());
        b.band.setFault(uint8_t(item), fault);
        QSignalSpy finished(&b.controller, &TestController::finished);
        QVERIFY(b.start(QStringLiteral("1-1.1"), withDefinition ? std::optional(kDefinition) : std::nullopt));
        QVERIFY(finished.wait(kRunTimeoutMs));
        const TestResult result = b.controller.result();
        QCOMPARE(TestSequence::outcomeName(result.outcome), outcome);
        QCOMPARE(result.failedRow, failedRow);
        const QJsonObject record = localRuns(QStringLiteral(".")).value(0);
        QCOMPARE(record.value("outcome").toString(), outcome);
        QCOMPARE(record.value("failed_row").toInt(), failedRow);
    }

    void portHeldElsewhereIsNoBandFault()
    {
        Bench b(store.get());
        QVERIFY(b.plugIn());
        const QString device = QString::fromStdString(b.band.devicePath());
        const int holder = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        QVERIFY(holder >= 0);
        QCOMPARE(::flock(holder, LOCK_EX | LOCK_NB), 0);
        QSignalSpy finished(&b.controller, &TestController::finished);
        QVERIFY(b.start());
        QVERIFY(finished.wait(kRunTimeoutMs));
        ::close(holder);
        QVERIFY(b.controller.result().portHeld);
        QVERIFY(b.band.commandsReceived().empty());
        QCOMPARE(localRuns(QStringLiteral(".")).value(0).value("details").toObject().value("error").toString(),
                 QStringLiteral("%1 is in use by another program").arg(device));
    }

    // A worker that fails in itself fails its own band, with its reason, and is recorded.
    void aFailingWorkerFailsItsOwnBandOnly()
    {
        Bench broken(store.get()), sound(store.get());
        QVERIFY(broken.plugIn() && sound.plugIn());
        broken.controller.setRunner([](TestSequence &, BandChannel &, const TestDefinition *) -> TestResult {
            throw std::runtime_error("worker failed");
        });
        QSignalSpy brokenDone(&broken.controller, &TestController::finished);
        QSignalSpy soundDone(&sound.controller, &TestController::finished);
        QVERIFY(broken.start(QStringLiteral("1-1.1")) && sound.start(QStringLiteral("1-1.2")));
        QVERIFY(brokenDone.wait(kRunTimeoutMs));
        QVERIFY(soundDone.count() > 0 || soundDone.wait(kRunTimeoutMs));
        QCOMPARE(broken.controller.result().outcome, TestResult::Outcome::Fail);
        QCOMPARE(broken.controller.result().failedStep, QStringLiteral("worker failed"));
        QVERIFY(sound.controller.result().passed());
        QCOMPARE(localRunCount(QStringLiteral(".")), 2);
    }

    // Stopped mid-step: the step under way ends within its budget, nothing
    // follows it, and the record is kept, by requestStop or by the
    // controller going away.
    void stoppedRunsAreInterruptedAndKept()
    {
        auto a = std::make_unique<Bench>(store.get());
        Bench b(store.get());
        for (Bench *x : {a.get(), &b}) {
            x->band.setFault(SB_ITEM_VERSION, bandsim::Fault::NoAnswer);
            QVERIFY(x->plugIn() && x->start());
        }
        QTRY_VERIFY(!a->band.commandsReceived().empty() && !b.band.commandsReceived().empty());
        QElapsedTimer stopping;
        stopping.start();
        QSignalSpy finished(&b.controller, &TestController::finished);
        b.controller.requestStop();
        a.reset();
        QVERIFY(finished.count() > 0 || finished.wait(kRunTimeoutMs));
        QVERIFY2(stopping.elapsed() < 5000, qPrintable(QString::number(stopping.elapsed())));
        QCOMPARE(b.band.commandsReceived().size(), size_t(1));
        const QList<QJsonObject> runs = localRuns(QStringLiteral("."));
        QCOMPARE(runs.size(), 2);
        for (const QJsonObject &run : runs) {
            QCOMPARE(run.value("outcome").toString(), QStringLiteral("interrupted"));
            QCOMPARE(run.value("failed_row").toInt(), 1);
        }
    }

    // Several bands at once, one failing, one silent, one pulled out: each
    // ends on its own, and none holds another up.
    void severalAtOnce()
    {
        std::vector<std::unique_ptr<Bench>> benches;
        for (int i = 0; i < 5; ++i) {
            benches.push_back(std::make_unique<Bench>(store.get()));
            QVERIFY(benches.back()->plugIn());
        }
        benches[1]->band.setFault(SB_ITEM_CONF, bandsim::Fault::NoAnswer);
        benches[2]->band.setFault(SB_ITEM_TIME, bandsim::Fault::DropsOffAfterAnswer);
        benches[3]->band.setFault(SB_ITEM_LED, bandsim::Fault::StoresDifferentValue);
        QElapsedTimer all;
        all.start();
        for (int i = 0; i < 5; ++i)
            QVERIFY(benches[size_t(i)]->start(QStringLiteral("1-1.%1").arg(i + 1)));
        QTRY_VERIFY_WITH_TIMEOUT(std::none_of(benches.begin(), benches.end(),
                                              [](const auto &b) { return b->controller.isRunning(); }),
                                 kRunTimeoutMs);
        QStringList seen;
        for (const QJsonObject &run : localRuns(QStringLiteral(".")))
            seen << run.value("usb_path").toString() + u' ' + run.value("outcome").toString() + u' '
                        + QString::number(run.value("failed_row").toInt(-1));
        seen.sort();
        QCOMPARE(seen, QStringList({"1-1.1 pass -1", "1-1.2 fail 6", "1-1.3 interrupted 3", "1-1.4 fail 5",
                                    "1-1.5 pass -1"}));
        // The silent band's budget, not five of them one after another.
        QVERIFY2(all.elapsed() < 5000, qPrintable(QString::number(all.elapsed())));
    }

    // With autostart each band runs once as it arrives, in the first free
    // slot; back from the restart that follows its pass it is not run
    // again; plugged into its port again it gets that port's slot back.
    void stationRunsEachBandOnceAsItArrives()
    {
        BandHub hub(2);
        TestStation station(2, &hub);
        SlotManager &manager = station.slotManager();
        manager.setAutostart(true);
        QSignalSpy finished(&station, &TestStation::finished);
        QVERIFY(station.init(100));
        QVERIFY(hub.plugIn(1));
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kRunTimeoutMs);
        QCOMPARE(finished[0][0].toInt(), 0);
        QCOMPARE(manager.location(0), BandHub::locationOf(1));
        QVERIFY(hub.plugIn(0));
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, kRunTimeoutMs);
        QCOMPARE(finished[1][0].toInt(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(manager.mayStart(0) && manager.mayStart(1), 5000); // both back
        QCOMPARE(localRunCount(QStringLiteral(".")), 2);
        QCOMPARE(manager.state(0), SlotManager::State::Passed);

        hub.pullOut(1);
        QTRY_COMPARE(manager.location(0), QString());
        QVERIFY(hub.plugIn(1));
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 3, kRunTimeoutMs);
        QCOMPARE(finished[2][0].toInt(), 0);
        QCOMPARE(manager.location(0), BandHub::locationOf(1));
        const QList<QJsonObject> runs = localRuns(QStringLiteral("."));
        QCOMPARE(runs.size(), 3);
        QCOMPARE(runs.last().value("usb_path").toString(), BandHub::locationOf(1));
    }

    // A band pulled out mid-run frees its slot; the others run on.
    void stationFreesTheSlotOfABandPulledOut()
    {
        BandHub hub(2);
        hub.band(0).setFault(SB_ITEM_TIME, bandsim::Fault::DropsOffAfterAnswer);
        TestStation station(2, &hub);
        SlotManager &manager = station.slotManager();
        QSignalSpy finished(&station, &TestStation::finished);
        QVERIFY(station.init(100));
        QVERIFY(hub.plugIn(0) && hub.plugIn(1));
        QTRY_VERIFY(manager.anyReady() && manager.mayStart(0) && manager.mayStart(1));
        station.startAllReady();
        QCOMPARE(manager.state(0), SlotManager::State::Running);
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, kRunTimeoutMs);
        QTRY_COMPARE(manager.state(0), SlotManager::State::Empty);
        QCOMPARE(manager.state(1), SlotManager::State::Passed);
        QStringList seen;
        for (const QJsonObject &run : localRuns(QStringLiteral(".")))
            seen << run.value("usb_path").toString() + u' ' + run.value("outcome").toString();
        seen.sort();
        QCOMPARE(seen, QStringList({"1-1.1 interrupted", "1-1.2 pass"}));
    }

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<RecordStore> store;
};

QTEST_GUILESS_MAIN(TestTestController)
#include "tst_testcontroller.moc"

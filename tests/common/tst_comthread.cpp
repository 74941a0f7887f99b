#include "comthread.h"
#include "portsource.h"
#include "simulatedband.h"

#include <QMutex>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>

namespace {

using Ports = QList<SerialPortEntry>;

SerialPortEntry port(const QString &name, quint16 vendor = 0x0451, quint16 product = 0x16AA, bool ids = true)
{
    return SerialPortEntry{name, ids, vendor, product};
}

class FakePorts : public PortSource {
public:
    Ports availablePorts() const override
    {
        QMutexLocker lock(&mutex);
        ++polls;
        return ports;
    }
    // Shows `list` for at least `count` polls.
    bool show(const Ports &list, int count = 3)
    {
        {
            QMutexLocker lock(&mutex);
            ports = list;
        }
        const int target = polls + count;
        return QTest::qWaitFor([&] { return polls >= target; }, 10000);
    }
    void watchChanges(QObject *, const std::function<void()> &changed) const override { notify = changed; }
    mutable std::function<void()> notify;

private:
    mutable std::atomic<int> polls{0};
    mutable QMutex mutex;
    Ports ports;
};

// The watcher logs from its own thread.
QMutex logMutex;
QStringList logged;
void recordMessage(QtMsgType, const QMessageLogContext &, const QString &text)
{
    QMutexLocker lock(&logMutex);
    logged.append(text);
}

} // namespace

class TestComThread : public QObject {
    Q_OBJECT
private slots:
    void reportsTheBandPort_data();
    void reportsTheBandPort();
    void stopEndsAWaitingThread();
    void reportedChangeIsPolledAtOnce();
};

void TestComThread::reportsTheBandPort_data()
{
    QTest::addColumn<QList<Ports>>("steps"); // port lists shown one after the other
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<int>("finalPort"); // from getPort; -1: none

    const QString on = "Connect Serial Port :  ", off = "Disconnect Serial Port :  ";
    // A new number without an absent poll in between keeps the old one.
    QTest::newRow("plugged, moved, unplugged, replugged, unplugged")
        << QList<Ports>{{port("ttyACM7")}, {port("ttyACM9")}, {}, {port("ttyACM9")}, {}}
        << QStringList{on + "7", off + "7", on + "9", off + "9"} << -1;
    QTest::newRow("letter case") << QList<Ports>{{port("TTYacm12")}} << QStringList{on + "12"} << 12;
    QTest::newRow("first of two") << QList<Ports>{{port("ttyACM3"), port("ttyACM5")}} << QStringList{on + "3"} << 3;
    QTest::newRow("other devices") << QList<Ports>{{port("ttyACM1", 0x0452), port("ttyACM2", 0x0451, 0x16A8),
                                                    port("ttyACM3", 0x0451, 0x16AA, false)}} << QStringList() << -1;
    QTest::newRow("first band port misnamed") << QList<Ports>{{port("ttyS0"), port("ttyACM2")}} << QStringList() << -1;
    QTest::newRow("no number") << QList<Ports>{{port("ttyACMx")}} << QStringList{on + "0"} << 0;
    QTest::newRow("signed number") << QList<Ports>{{port("ttyACM-1")}} << QStringList{on + "0"} << 0;
    QTest::newRow("port 300") << QList<Ports>{{port("ttyACM300")}} << QStringList{on + "300"} << 44;
}

void TestComThread::reportsTheBandPort()
{
    QFETCH(QList<Ports>, steps);
    QFETCH(QStringList, log);
    QFETCH(int, finalPort);

    FakePorts source;
    CComThread watcher(nullptr, &source);
    watcher.setPollInterval(5);
    QSignalSpy spy(&watcher, &CComThread::SBConnected); // read only once the thread has ended
    logged.clear();
    qInstallMessageHandler(recordMessage);
    watcher.start();
    for (const Ports &ports : steps)
        QVERIFY(source.show(ports));
    watcher.stop();
    qInstallMessageHandler(nullptr);

    QCOMPARE(logged, log);
    QCOMPARE(spy.count(), log.size());
    for (int i = 0; i < log.size(); ++i)
        QCOMPARE(spy[i][0].toBool(), log[i].startsWith("Connect"));
    quint8 number = 0xAB;
    QVERIFY(!watcher.getPort(nullptr));
    QCOMPARE(watcher.getPort(&number), finalPort >= 0);
    QCOMPARE(int(number), finalPort >= 0 ? finalPort : 0xAB);
}

void TestComThread::stopEndsAWaitingThread()
{
    FakePorts source;
    CComThread watcher(nullptr, &source);
    watcher.setPollInterval(24 * 3600 * 1000); // only a wake-up ends this wait
    watcher.start();
    QVERIFY(source.show({}, 1));
    watcher.stop();
    QVERIFY(watcher.isFinished());
}

// Only a change the source reports can end the day-long pause: both the
// portable watcher logic and the simulated band's notice.
void TestComThread::reportedChangeIsPolledAtOnce()
{
    constexpr int kDay = 24 * 3600 * 1000;
    FakePorts source;
    CComThread watcher(nullptr, &source);
    watcher.setPollInterval(kDay);
    QSignalSpy spy(&watcher, &CComThread::SBConnected);
    QVERIFY(source.show({port("ttyACM4")}, 0));
    watcher.start(); // polls once at start
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 5000);
    QVERIFY(source.notify);
    source.show({}, 0);
    source.notify();
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 2, 5000);
    watcher.stop();

    SimulatedBand band;
    CComThread bandWatcher(nullptr, &band);
    bandWatcher.setPollInterval(kDay);
    QSignalSpy bandSpy(&bandWatcher, &CComThread::SBConnected);
    bandWatcher.start();
    QTest::qWait(50); // the first poll, which finds nothing, is over
    QVERIFY(band.plugIn());
    QTRY_COMPARE_WITH_TIMEOUT(bandSpy.count(), 1, 5000);
    band.unplug();
    QTRY_COMPARE_WITH_TIMEOUT(bandSpy.count(), 2, 5000);
    QCOMPARE(bandSpy[1][0].toBool(), false);
    bandWatcher.stop();
}

QTEST_GUILESS_MAIN(TestComThread)
#include "tst_comthread.moc"

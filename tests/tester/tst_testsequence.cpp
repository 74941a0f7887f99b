#include "testsequence.h"

#include <bandsim/virtualband.h>

#include <QtTest>

namespace {

constexpr quint8 kPort = 201;
const sb_conf_t kPerson{60, 170, 1, 25, 8000};

template <typename Record> QByteArray bytes(const Record &r)
{
    return QByteArray(reinterpret_cast<const char *>(&r), sizeof r);
}

} // namespace

class TestTestSequence : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void passes();
    void fails_data();
    void fails();
    void bandTimeOf_data();
    void bandTimeOf();

private:
    std::unique_ptr<bandsim::VirtualBand> band;
};

void TestTestSequence::init()
{
    band = std::make_unique<bandsim::VirtualBand>();
    QVERIFY(band->plugIn());
    QVERIFY(uart_bind_device_path(kPort, band->devicePath().c_str()));
}

void TestTestSequence::cleanup()
{
    sb_exit();
    band.reset();
    uart_bind_device_path(kPort, nullptr);
}

void TestTestSequence::passes()
{
    TestSequence sequence;
    const TestResult r = sequence.run(kPort, &kPerson);
    QVERIFY(r.passed());
    QCOMPARE(TestSequence::outcomeName(r.outcome), QStringLiteral("pass"));
    QCOMPARE(r.failedRow, -1);
    QVERIFY(r.failedStep.isEmpty());
    QCOMPARE(bytes(r.version), bytes(band->version()));
    QCOMPARE(bytes(r.sentConf), bytes(kPerson));
    QCOMPARE(bytes(r.readConf), bytes(kPerson));
    QCOMPARE(bytes(band->conf()), bytes(kPerson));
    QVERIFY(r.started.isValid() && r.started <= r.finished);
    QVERIFY(r.started.secsTo(r.finished) < 10);
    // What went over the wire is what the result reports as sent.
    QByteArray sentTime;
    for (const auto &frame : band->commandsReceived())
        if (frame[1] == SB_OP_WRITE && frame[2] == SB_ITEM_TIME)
            sentTime = QByteArray(reinterpret_cast<const char *>(frame.data()) + SB_HEAD_SIZE, 6);
    QCOMPARE(sentTime, bytes(r.sentTime));
    QVERIFY(r.readTime.year == r.sentTime.year && r.readTime.day == r.sentTime.day);
}

void TestTestSequence::fails_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("withPerson");
    QTest::addColumn<int>("item");
    QTest::addColumn<bandsim::Fault>("fault");
    QTest::addColumn<bool>("presenceCheck"); // asks whether the band is still plugged in
    QTest::addColumn<bool>("stop");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("outcome");

    const bandsim::Fault none = bandsim::Fault::None;
    QTest::newRow("no port") << -1 << true << 0 << none << false << false << 0 << "fail";
    QTest::newRow("unbound port") << 202 << true << 0 << none << false << false << 0 << "fail";
    QTest::newRow("silent version") << int(kPort) << true << int(SB_ITEM_VERSION) << bandsim::Fault::NoAnswer
                                    << false << false << 1 << "fail";
    QTest::newRow("late clock") << int(kPort) << true << int(SB_ITEM_TIME) << bandsim::Fault::LateAnswer
                                << false << false << 2 << "fail";
    QTest::newRow("no def.xml") << int(kPort) << false << 0 << none << false << false << 6 << "fail";
    QTest::newRow("stored differently") << int(kPort) << true << int(SB_ITEM_CONF)
                                        << bandsim::Fault::StoresDifferentValue << true << false << 7 << "fail";
    QTest::newRow("pulled out, unseen") << int(kPort) << true << int(SB_ITEM_CONF)
                                        << bandsim::Fault::DropsOffAfterAnswer << false << false << 7 << "fail";
    QTest::newRow("pulled out") << int(kPort) << true << int(SB_ITEM_CONF) << bandsim::Fault::DropsOffAfterAnswer
                                << true << false << 7 << "interrupted";
    QTest::newRow("stopped") << int(kPort) << true << 0 << none << false << true << 0 << "interrupted";
}

void TestTestSequence::fails()
{
    QFETCH(int, port);
    QFETCH(bool, withPerson);
    QFETCH(int, item);
    QFETCH(bandsim::Fault, fault);
    QFETCH(bool, presenceCheck);
    QFETCH(bool, stop);
    QFETCH(int, row);
    QFETCH(QString, outcome);

    band->setFault(uint8_t(item), fault);
    TestSequence sequence;
    if (presenceCheck)
        sequence.setPresenceCheck([this] { return band->isPluggedIn(); });
    if (stop)
        sequence.requestStop();
    const TestResult r = sequence.run(port, withPerson ? &kPerson : nullptr);
    QCOMPARE(TestSequence::outcomeName(r.outcome), outcome);
    QCOMPARE(r.failedRow, row);
    QCOMPARE(r.failedStep, TestSequence::stepName(row));
    QVERIFY(!r.failedStep.isEmpty());
    QCOMPARE(r.reached(TestSequence::RowGetVersion), row > 1);
    QCOMPARE(r.readConfValid, fault == bandsim::Fault::StoresDifferentValue);
    if (r.readConfValid)
        QVERIFY(bytes(r.readConf) != bytes(r.sentConf));
    if (row <= 1 || stop)
        QCOMPARE(band->commandsReceived().size(), size_t(row == 1 ? 1 : 0));
}

void TestTestSequence::bandTimeOf_data()
{
    QTest::addColumn<QDateTime>("local");
    QTest::addColumn<QByteArray>("record"); // second, minute, hour, day, month, year

    QTest::newRow("2026-12-05 14:05:09") << QDateTime(QDate(2026, 12, 5), QTime(14, 5, 9))
                                         << QByteArray("\x09\x05\x0e\x04\x0b\x1a", 6);
    QTest::newRow("2000-01-01 00:00:00") << QDateTime(QDate(2000, 1, 1), QTime(0, 0)) << QByteArray(6, 0);
    QTest::newRow("before 2000") << QDateTime(QDate(1999, 12, 31), QTime(23, 59, 58))
                                 << QByteArray("\x3a\x3b\x17\x1e\x0b\x00", 6);
    QTest::newRow("year 2300") << QDateTime(QDate(2300, 2, 1), QTime(1, 2, 3)) << QByteArray("\x03\x02\x01\x00\x01\x2c", 6);
}

void TestTestSequence::bandTimeOf()
{
    QFETCH(QDateTime, local);
    QFETCH(QByteArray, record);
    QCOMPARE(bytes(TestSequence::bandTimeOf(local)), record);
}

QTEST_GUILESS_MAIN(TestTestSequence)
#include "tst_testsequence.moc"

#include "bandchannel.h"
#include "testsequence.h"

#include <bandsim/virtualband.h>

#include <QtTest>

namespace {

const sb_conf_t kPerson{60, 170, 1, 25, 8000};
const TestDefinition kDefinition{kPerson, {{1, 0}}, std::nullopt, {}};

// A table of the band's own, other than the virtual band's all-zero one.
AlarmTable plantedAlarms()
{
    AlarmTable table{};
    for (int i = 0; i < SB_ALARM_COUNT; ++i)
        table[size_t(i)] = sb_alarm_t{uint8_t(0x80 | i), uint8_t(5 * i), uint8_t(6 + i), 0};
    return table;
}

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
    void writesTheDefinitionsAlarmsOrKeepsTheBands_data();
    void writesTheDefinitionsAlarmsOrKeepsTheBands();
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
}

void TestTestSequence::cleanup()
{
    band.reset();
}

void TestTestSequence::passes()
{
    TestSequence sequence;
    LinkChannel link(band->devicePath());
    const TestResult r = sequence.run(link, &kDefinition);
    QVERIFY(r.passed());
    QCOMPARE(TestSequence::outcomeName(r.outcome), QStringLiteral("pass"));
    QCOMPARE(r.failedRow, -1);
    QVERIFY(r.failedStep.isEmpty());
    QCOMPARE(bytes(r.version), bytes(band->version()));
    QCOMPARE(bytes(r.sentConf), bytes(kPerson));
    QCOMPARE(bytes(r.readConf), bytes(kPerson));
    QCOMPARE(bytes(band->conf()), bytes(kPerson));
    QCOMPARE(bytes(r.sentLed), bytes(kDefinition.led));
    QCOMPARE(bytes(band->led()), bytes(kDefinition.led));
    QVERIFY(r.readLedValid && r.readConfValid && r.readAlarmsValid && r.differences.isEmpty());
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

// Without a table in def.xml the band keeps its own; with one, the band
// holds that table afterwards.
void TestTestSequence::writesTheDefinitionsAlarmsOrKeepsTheBands_data()
{
    QTest::addColumn<bool>("ownTable");
    QTest::newRow("the band's own") << false;
    QTest::newRow("def.xml's") << true;
}

void TestTestSequence::writesTheDefinitionsAlarmsOrKeepsTheBands()
{
    QFETCH(bool, ownTable);
    const AlarmTable planted = plantedAlarms();
    band->setAlarms(planted);
    TestDefinition definition = kDefinition;
    AlarmTable written{};
    written[3] = sb_alarm_t{0x7F, 30, 7, 0};
    if (ownTable)
        definition.alarms = written;
    const AlarmTable expected = ownTable ? written : planted;

    TestSequence sequence;
    LinkChannel link(band->devicePath());
    const TestResult r = sequence.run(link, &definition);
    QVERIFY(r.passed());
    QCOMPARE(bytes(r.sentAlarms), bytes(expected));
    QCOMPARE(bytes(r.readAlarms), bytes(expected));
    QCOMPARE(bytes(band->alarms()), bytes(expected));
}

void TestTestSequence::fails_data()
{
    QTest::addColumn<QString>("device"); // "band": the virtual band's
    QTest::addColumn<bool>("withPerson");
    QTest::addColumn<int>("item");
    QTest::addColumn<bandsim::Fault>("fault");
    QTest::addColumn<bool>("presenceCheck"); // asks whether the band is still plugged in
    QTest::addColumn<bool>("stop");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("differences"); // the fields the band stored otherwise

    using bandsim::Fault;
    const Fault none = Fault::None;
    const QString port = QStringLiteral("band");
    QTest::newRow("no port") << QString() << true << 0 << none << false << false << 0 << "fail" << "";
    QTest::newRow("no such port") << QStringLiteral("/dev/no-such-band") << true << 0 << none << false << false << 0 << "fail" << "";
    QTest::newRow("silent version") << port << true << int(SB_ITEM_VERSION) << Fault::NoAnswer
                                    << false << false << 1 << "fail" << "";
    QTest::newRow("late clock") << port << true << int(SB_ITEM_TIME) << Fault::LateAnswer
                                << false << false << 2 << "fail" << "";
    QTest::newRow("no def.xml") << port << false << 0 << none << false << false << 4 << "fail" << "";
    QTest::newRow("LEDs refused") << port << true << int(SB_ITEM_LED) << Fault::RefusedWrite
                                  << false << false << 4 << "fail" << "";
    QTest::newRow("LEDs stored differently") << port << true << int(SB_ITEM_LED) << Fault::StoresDifferentValue
                                             << false << false << 5 << "fail" << "led0 (sent 1, stored 2)";
    QTest::newRow("LED 1 stored differently") << port << true << int(SB_ITEM_LED) << Fault::StoresDifferentLastField
                                              << false << false << 5 << "fail" << "led1 (sent 0, stored 1)";
    QTest::newRow("settings refused") << port << true << int(SB_ITEM_CONF) << Fault::RefusedWrite
                                      << false << false << 6 << "fail" << "";
    QTest::newRow("settings stored differently") << port << true << int(SB_ITEM_CONF) << Fault::StoresDifferentValue
                                                 << true << false << 7 << "fail" << "weight (sent 60, stored 61)";
    QTest::newRow("goal stored differently") << port << true << int(SB_ITEM_CONF) << Fault::StoresDifferentLastField
                                             << false << false << 7 << "fail" << "goal (sent 8000, stored 8256)";
    QTest::newRow("alarms unreadable") << port << true << int(SB_ITEM_ALARM) << Fault::NoAnswer
                                       << false << false << 8 << "fail" << "";
    QTest::newRow("alarms refused") << port << true << int(SB_ITEM_ALARM) << Fault::RefusedWrite
                                    << false << false << 8 << "fail" << "";
    QTest::newRow("alarms stored differently") << port << true << int(SB_ITEM_ALARM) << Fault::StoresDifferentValue
                                               << false << false << 9 << "fail" << "alarms[0].mode (sent 128, stored 129)";
    QTest::newRow("last alarm stored differently") << port << true << int(SB_ITEM_ALARM) << Fault::StoresDifferentLastField
                                                   << false << false << 9 << "fail" << "alarms[7].hour (sent 13, stored 14)";
    QTest::newRow("pulled out, unseen") << port << true << int(SB_ITEM_CONF) << Fault::DropsOffAfterAnswer
                                        << false << false << 7 << "fail" << "";
    QTest::newRow("pulled out") << port << true << int(SB_ITEM_CONF) << Fault::DropsOffAfterAnswer
                                << true << false << 7 << "interrupted" << "";
    QTest::newRow("stopped") << port << true << 0 << none << false << true << 0 << "interrupted" << "";
}

void TestTestSequence::fails()
{
    QFETCH(QString, device);
    QFETCH(bool, withPerson);
    QFETCH(int, item);
    QFETCH(bandsim::Fault, fault);
    QFETCH(bool, presenceCheck);
    QFETCH(bool, stop);
    QFETCH(int, row);
    QFETCH(QString, outcome);
    QFETCH(QString, differences);

    band->setAlarms(plantedAlarms()); // the band's own, written back when def.xml has none
    band->setFault(uint8_t(item), fault);
    TestSequence sequence;
    if (presenceCheck)
        sequence.setPresenceCheck([this] { return band->isPluggedIn(); });
    if (stop)
        sequence.requestStop();
    LinkChannel link(device == QLatin1String("band") ? band->devicePath() : device.toStdString());
    const TestResult r = sequence.run(link, withPerson ? &kDefinition : nullptr);
    QCOMPARE(TestSequence::outcomeName(r.outcome), outcome);
    QCOMPARE(r.failedRow, row);
    QCOMPARE(r.failedStep, TestSequence::stepName(row));
    QVERIFY(!r.failedStep.isEmpty());
    QCOMPARE(r.reached(TestSequence::RowGetVersion), row > 1);
    QCOMPARE(describeDifferences(r.differences), differences);
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

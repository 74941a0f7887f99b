// Every band operation's exchange, byte for byte, and what it makes of
// replies of the wrong kind, length or result.
#include "ptyband.h"

#include <bandlink.h>

#include <QtTest>

#include <algorithm>
#include <atomic>
#include <thread>

namespace {

template <typename T> T *as(uint8_t *r) { return reinterpret_cast<T *>(r); }

struct Op {
    const char *name;
    uint8_t opcode, item;
    int size; // record bytes; 0: command without reply; -1: listening
    bool (*call)(uint8_t *record);
};

const Op kOps[] = {
    {"version", 0x80, 0xFF, 10, [](uint8_t *r) { return sb_getVersion(as<sb_version_t>(r)); }},
    {"get time", 0x80, 0x05, 6, [](uint8_t *r) { return sb_getTime(as<sb_time_t>(r)); }},
    {"set time", 0x81, 0x05, 6, [](uint8_t *r) { return sb_setTime(as<sb_time_t>(r)); }},
    {"get conf", 0x80, 0x02, 6, [](uint8_t *r) { return sb_getSBConf(as<sb_conf_t>(r)); }},
    {"set conf", 0x81, 0x02, 6, [](uint8_t *r) { return sb_setSBConf(as<sb_conf_t>(r)); }},
    {"get led", 0x80, 0x04, 2, [](uint8_t *r) { return sb_getLed(as<sb_led_t>(r)); }},
    {"set led", 0x81, 0x04, 2, [](uint8_t *r) { return sb_setLed(as<sb_led_t>(r)); }},
    {"get alarms", 0x80, 0x01, 32, [](uint8_t *r) { return sb_getAlarmClock(as<sb_alarm_t>(r)); }},
    {"set alarms", 0x81, 0x01, 32, [](uint8_t *r) { return sb_setAlarmClock(as<sb_alarm_t>(r)); }},
    {"stat", 0x80, 0x03, 12, [](uint8_t *r) { return sb_getSBStat(as<sb_stat_t>(r)); }},
    {"day data", 0x80, 0x07, 16, [](uint8_t *r) { return sb_getSBDayData(as<sb_day_data_t>(r)); }},
    {"day stat 0", 0x80, 0x10, 16, [](uint8_t *r) { return sb_getDayStat(0, as<sb_day_stat_t>(r)); }},
    {"day stat 6", 0x80, 0x16, 16, [](uint8_t *r) { return sb_getDayStat(6, as<sb_day_stat_t>(r)); }},
    {"set index", 0x81, 0x09, 3, [](uint8_t *r) { return sb_setReceiveMinStat(as<sb_index_t>(r)); }},
    {"start upload", 0x81, 0xFA, 0, [](uint8_t *) { return sb_setStartUpdata(); }},
    {"stop upload", 0x81, 0xFB, 0, [](uint8_t *) { return sb_setStopUpdata(); }},
    {"reset", 0x81, 0xFD, 0, [](uint8_t *) { return sb_reset(); }},
    {"upgrade", 0x81, 0xFE, 0, [](uint8_t *) { return sb_upgrade(); }},
    {"min stat", 0, 0, -1, [](uint8_t *r) { return sb_getMinStat(r); }},
    {"upload", 0, 0, -1, [](uint8_t *r) { return sb_getUpload(r); }},
};

const QByteArray kUntouched(257, char(0xEE));

const Op *opNamed(const QByteArray &name)
{
    const auto found = std::find_if(std::begin(kOps), std::end(kOps), [&](const Op &o) { return name == o.name; });
    return found == std::end(kOps) ? nullptr : found;
}

} // namespace

class OperationsTest : public QObject {
    Q_OBJECT
private slots:
    void exchange_data();
    void exchange();
    void refusesClosedLinkAndNullRecord();
    void refusesDaysOutsideTheWeek();
    void repliesBelongToTheirCommand();
    void givesUpWithinItsBudget();
    void hostileBandCannotHoldACall_data();
    void hostileBandCannotHoldACall();
};

void OperationsTest::exchange_data()
{
    QTest::addColumn<int>("op");
    QTest::addColumn<QByteArray>("input");   // the record as passed in
    QTest::addColumn<QByteArray>("reply");   // the band's answer
    QTest::addColumn<bool>("result");
    QTest::addColumn<QByteArray>("output"); // the record afterwards
    QTest::addColumn<QByteArray>("command"); // expected on the wire
    for (int op = 0; op < int(std::size(kOps)); ++op) {
        const Op &o = kOps[op];
        const QByteArray data = counting(qMax(o.size, 0), 0x41), filled = data + kUntouched.mid(data.size());
        const QByteArray command = o.size < 0 ? QByteArray() : bandFrame(o.opcode, o.item, o.opcode & 1 ? data : "");
        auto row = [&](const char *what, const QByteArray &input, const QByteArray &reply, bool result,
                       const QByteArray &output) {
            QTest::addRow("%s %s", o.name, what) << op << input << reply << result << output << command;
        };
        if (o.size < 0) { // any valid frame
            row("empty", kUntouched, bandFrame(0x00, 0xFC), true, kUntouched);
            row("255 bytes", kUntouched, bandFrame(0x00, 0xFC, counting(255)), true, counting(255) + "\xEE\xEE");
            row("any frame", kUntouched, bandFrame(0x01, 0x33, "\x09", 0x12), true, "\x09" + kUntouched.mid(1));
            row("bad check byte", kUntouched, QByteArray::fromHex("AA00FCFF010101"), false, kUntouched);
        } else if (o.size == 0) { // the band's frame stays unread
            row("", kUntouched, bandFrame(0x00, 0xFC, "\x01"), true, kUntouched);
        } else if (!(o.opcode & 1)) {
            row("", kUntouched, bandFrame(0x00, o.item, data), true, filled);
            row("short", kUntouched, bandFrame(0x00, o.item, data.chopped(1)), false, kUntouched);
            row("long", kUntouched, bandFrame(0x00, o.item, data + 'x'), false, kUntouched);
            row("write reply", kUntouched, bandFrame(0x01, o.item, data), false, kUntouched);
            row("other item first", kUntouched, bandFrame(0x00, 0x33, data.chopped(1) + 'x', 0)
                + bandFrame(0x00, o.item, data), true, filled);
        } else {
            row("", filled, bandFrame(0x01, o.item, "\x01"), true, filled);
            row("refused", filled, bandFrame(0x01, o.item, QByteArray(1, 0)), false, filled);
            row("read reply", filled, bandFrame(0x00, o.item, "\x01"), false, filled);
            row("long", filled, bandFrame(0x01, o.item, "\x01\x01"), false, filled);
            row("other item first", filled, bandFrame(0x01, 0x33, QByteArray(1, 0), 0)
                + bandFrame(0x01, o.item, "\x01"), true, filled);
            row("no reply", filled, {}, false, filled);
        }
    }
    const QByteArray clock = QByteArray::fromHex("1E2D0C0E020F") + kUntouched.mid(6);
    QTest::newRow("set time 2015-03-15 12:45:30") << 2 << clock << QByteArray::fromHex("AA0105FF000101")
        << true << clock << QByteArray::fromHex("AA8105FF3A061E2D0C0E020F");
}

void OperationsTest::exchange()
{
    QFETCH(int, op);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, reply);
    QFETCH(bool, result);
    QFETCH(QByteArray, output);
    QFETCH(QByteArray, command);
    PtyBand band;
    QVERIFY(sb_init(kPort));
    if (kOps[op].size < 0) // listening: what waits is what it waits for
        band.send(reply);
    else
        band.answer({reply});
    QCOMPARE(kOps[op].call(reinterpret_cast<uint8_t *>(input.data())), result);
    QCOMPARE(band.received(), command);
    QCOMPARE(input, output);
    sb_cmd_t evt{};
    if (kOps[op].size == 0) // nothing was read
        QVERIFY(sb_recv_evt(&evt, 0) && evt.payload[0] == 1);
}

void OperationsTest::refusesClosedLinkAndNullRecord()
{
    PtyBand band;
    QVERIFY(sb_init(kPort));
    for (const Op &o : kOps)
        QVERIFY2(o.size == 0 || !o.call(nullptr), o.name);
    sb_exit();
    uint8_t record[257];
    for (const Op &o : kOps)
        QVERIFY2(!o.call(record), o.name);
    QVERIFY(band.received().isEmpty());
}

// Day 7 would ask for item 0x17, day 0xEF for the version: the band's answer
// to either must never pass as a day's statistics.
void OperationsTest::refusesDaysOutsideTheWeek()
{
    PtyBand band;
    sb_link *link = nullptr;
    for (const bool ownLink : {false, true}) {
        QVERIFY(ownLink ? (link = sb_link_open(band.path)) != nullptr : sb_init(kPort));
        for (const uint8_t day : {uint8_t(7), uint8_t(0xEF), uint8_t(255)}) {
            QByteArray record = kUntouched;
            auto *stat = reinterpret_cast<sb_day_stat_t *>(record.data());
            QVERIFY(!(ownLink ? sb_link_getDayStat(link, day, stat) : sb_getDayStat(day, stat)));
            QCOMPARE(record, kUntouched);
        }
        QCOMPARE(band.received(), QByteArray()); // nothing was asked
        sb_exit();
    }
    sb_link_close(link);
}

void OperationsTest::repliesBelongToTheirCommand()
{
    const QByteArray conf = QByteArray::fromHex("3caa01191f40"), untouched(6, char(0xEE));
    const QByteArray clockReply = bandFrame(0x00, SB_ITEM_TIME, counting(6, 0x31));
    const QByteArray confReply = bandFrame(0x00, SB_ITEM_CONF, conf);
    PtyBand band;
    QVERIFY(sb_init(kPort));
    QByteArray got;
    bool oneCommandEach = true; // nothing is ever sent twice
    auto getConf = [&](const QList<QByteArray> &replies) {
        got = untouched;
        band.answer(replies);
        const bool ok = sb_getSBConf(reinterpret_cast<sb_conf_t *>(got.data()));
        oneCommandEach = oneCommandEach && band.received() == bandFrame(0x80, SB_ITEM_CONF);
        return ok;
    };
    sb_time_t time;
    band.answer({{}});
    QVERIFY(!sb_getTime(&time));
    band.received();
    band.send(clockReply); // the clock's late answer
    QVERIFY(!getConf({{}}) && got == untouched);
    band.send(clockReply);
    QVERIFY(getConf({confReply}) && got == conf);
    band.send(bandFrame(0x00, SB_ITEM_CONF, counting(6))); // the same item, late
    QVERIFY(getConf({confReply}) && got == conf);
    band.send(bandFrame(0x00, SB_ITEM_UPLOAD, counting(6))); // an event waiting
    QVERIFY(!getConf({{}}) && got == untouched);
    QVERIFY(getConf({clockReply + confReply}) && got == conf);
    QVERIFY(!getConf({clockReply}) && got == untouched);
    QVERIFY(!getConf({bandFrame(0x01, SB_ITEM_CONF, "\x01")}) && got == untouched); // a write reply
    // Skipped frames spend the one frame-start budget: five fit, six do not.
    QVERIFY(getConf({clockReply.repeated(5) + confReply}) && got == conf);
    QVERIFY(!getConf({clockReply.repeated(6) + confReply}) && got == untouched);
    QVERIFY(oneCommandEach);

    sb_alarm_t alarms[SB_ALARM_COUNT] = {};
    band.answer({{}});
    QVERIFY(!sb_setSBConf(reinterpret_cast<const sb_conf_t *>(conf.constData())));
    band.received();
    band.send(bandFrame(0x01, SB_ITEM_CONF, "\x01")); // the write's late answer
    band.answer({{}});
    QVERIFY(!sb_setAlarmClock(alarms));
    band.answer({bandFrame(0x01, SB_ITEM_CONF, "\x01") + bandFrame(0x01, SB_ITEM_ALARM, QByteArray(1, 0))});
    QVERIFY(!sb_setAlarmClock(alarms)); // refused, whatever the other item said
}

// Budgets: 20 ms, then six frame-start reads of 110 ms; a reply that starts
// and stops coming gets its own 16 bytes at 10 ms a byte on top.
void OperationsTest::givesUpWithinItsBudget()
{
    sb_version_t version;
    QElapsedTimer timer;
    const QList<QPair<QByteArray, int>> stalls = {{{}, 680}, {bandFrame(0x00, 0xFF, counting(10)).left(10), 840}};
    for (const auto &stall : stalls) {
        PtyBand band;
        QVERIFY(sb_init(kPort));
        band.answer({stall.first});
        timer.start();
        QVERIFY(!sb_getVersion(&version));
        const qint64 ms = timer.elapsed();
        QVERIFY2(ms > stall.second * 9 / 10 && ms < stall.second * 3, qPrintable(QString::number(ms)));
        QCOMPARE(band.received(), bandFrame(0x80, 0xFF)); // sent once, never again
    }
    // An unplugged band is noticed at once, reading or writing.
    const sb_conf_t conf{60, 170, 1, 25, 8000};
    for (bool write : {false, true}) {
        PtyBand band;
        QVERIFY(sb_init(kPort));
        std::thread far([&] { band.readCommand(); QThread::msleep(50); band.unplug(); });
        QVERIFY(!(write ? sb_setSBConf(&conf) : sb_getVersion(&version)));
        const auto returned = std::chrono::steady_clock::now();
        far.join();
        const auto late = returned - band.unpluggedAt;
        QVERIFY2(late < std::chrono::milliseconds(250), qPrintable(QString::number(late.count() / 1000000)));
    }
}

// Whatever the band sends, a call ends about when a silent band's would,
// plus its own frame's bytes at 10 ms a byte (the longest frame for a
// listening call). Each shape once held a call for about 16 s.
void OperationsTest::hostileBandCannotHoldACall_data()
{
    QTest::addColumn<QByteArray>("op");
    QTest::addColumn<QByteArray>("burst");  // sent at once after the command
    QTest::addColumn<QByteArray>("trickle"); // then one byte at a time, over and over
    QTest::addColumn<int>("gapMs");
    QTest::addColumn<int>("budgetMs");
    const QByteArray foreign = bandFrame(0x00, 0x33, counting(255));
    QTest::newRow("length byte garbled") << QByteArray("set index") << QByteArray::fromHex("AA01AA0109FF1D011C") << QByteArray() << 0 << 750;
    QTest::newRow("long head, trickling payload") << QByteArray("version") << QByteArray::fromHex("AA00FFFF00FF") << counting(255) << 100 << 840;
    QTest::newRow("trickling foreign frames") << QByteArray("get conf") << QByteArray() << foreign << 9 << 800;
    QTest::newRow("listening, trickling payload") << QByteArray("upload") << QByteArray::fromHex("AA00FCFF00FF") << counting(255)
                                                  << 100 << 660 + 2610;
}

void OperationsTest::hostileBandCannotHoldACall()
{
    QFETCH(QByteArray, op);
    QFETCH(QByteArray, burst);
    QFETCH(QByteArray, trickle);
    QFETCH(int, gapMs);
    QFETCH(int, budgetMs);
    const Op *called = opNamed(op);
    QVERIFY(called);
    PtyBand band;
    QVERIFY(sb_init(kPort));
    std::atomic<bool> done{false};
    std::thread hostile([&] {
        if (called->size >= 0)
            band.readCommand();
        band.send(burst);
        for (int i = 0; !trickle.isEmpty() && !done; i = (i + 1) % int(trickle.size())) {
            band.send(trickle.mid(i, 1));
            QThread::msleep(gapMs);
        }
    });
    QByteArray record = kUntouched;
    QElapsedTimer timer;
    timer.start();
    const bool ok = called->call(reinterpret_cast<uint8_t *>(record.data()));
    const qint64 ms = timer.elapsed();
    done = true;
    hostile.join();
    QVERIFY(!ok);
    QCOMPARE(record, kUntouched);
    QVERIFY2(ms < budgetMs * 3, qPrintable(QString::number(ms)));
}

QTEST_GUILESS_MAIN(OperationsTest)
#include "tst_operations.moc"

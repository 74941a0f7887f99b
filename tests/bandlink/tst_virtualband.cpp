// The link against the virtual band's faults: an answer that comes late,
// or an event, never passes for the answer to another command.
#include <bandlink.h>
#include <bandsim/virtualband.h>

#include <QtTest>

using bandsim::Fault;

namespace {

constexpr uint8_t kPort = 43;
const sb_conf_t kWearer{60, 170, 1, 25, 8000};

bandsim::Options eventsShapedLikeTheSettings()
{
    bandsim::Options options;
    options.uploadPayloadSize = sizeof(sb_conf_t);
    return options;
}

template <typename T> QByteArray bytesOf(const T &record)
{
    return QByteArray(reinterpret_cast<const char *>(&record), sizeof record);
}

} // namespace

class VirtualBandTest : public QObject {
    Q_OBJECT
    bandsim::VirtualBand band{eventsShapedLikeTheSettings()};

    // The band's real settings, or a failure that left the record alone.
    void checkConfRead(bool expectSuccess = false)
    {
        sb_conf_t conf;
        memset(&conf, 0xEE, sizeof conf);
        const bool ok = sb_getSBConf(&conf);
        QCOMPARE(bytesOf(conf), ok ? bytesOf(kWearer) : QByteArray(sizeof conf, char(0xEE)));
        QVERIFY(ok || !expectSuccess);
    }

private slots:
    void init()
    {
        QVERIFY(band.plugIn());
        QVERIFY(uart_bind_device_path(kPort, band.devicePath().c_str()) && sb_init(kPort));
        QVERIFY(sb_setSBConf(&kWearer));
    }
    void cleanup()
    {
        sb_exit();
        band.clearFaults();
        band.unplug();
    }

    void lateClockIsNotTheWearersSettings()
    {
        band.setFault(SB_ITEM_TIME, Fault::LateAnswer);
        sb_time_t time;
        QVERIFY(!sb_getTime(&time));
        checkConfRead();
        checkConfRead(true);
    }

    void lateWriteReplyDoesNotConfirmTheNextWrite()
    {
        band.setFault(SB_ITEM_CONF, Fault::LateAnswer);
        QVERIFY(!sb_setSBConf(&kWearer));
        band.setFault(SB_ITEM_ALARM, Fault::NoAnswer);
        const sb_alarm_t alarms[SB_ALARM_COUNT] = {};
        QVERIFY(!sb_setAlarmClock(alarms));
    }

    void streamedEventsAreNotReplies()
    {
        QVERIFY(sb_setStartUpdata());
        uint8_t event[256];
        QVERIFY(sb_getUpload(event));
        for (int i = 0; i < 5; ++i)
            checkConfRead();
        QVERIFY(sb_setStopUpdata());
        QTest::qWait(100);
        checkConfRead(true);
    }
};

QTEST_GUILESS_MAIN(VirtualBandTest)
#include "tst_virtualband.moc"

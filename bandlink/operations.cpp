// The band's operations. Each one is a complete exchange: a command frame,
// and for most of them one reply frame of a known kind and length.
#include "bandlink.h"
#include "link_internal.h"
#include "link_state.h"

#include <chrono>
#include <cstring>
#include <thread>

using namespace bandlink;

namespace {

// The band needs a moment to build its reply before it is worth listening.
constexpr std::chrono::milliseconds kReplyPause(20);
constexpr uint8_t kReceiveTries = 5;
constexpr uint8_t kWriteReplyLength = 1;
constexpr uint8_t kDaysKept = 7; // day statistics of days 0 to 6

// Builds, sends and prints one command frame. Whatever waits on the port
// by then came before the command and cannot be its answer: it goes.
bool sendCommand(sb_link &link, uint8_t opcode, uint8_t item, const void *payload, uint8_t length)
{
    dropInput(link);
    sb_cmd_t cmd{};
    cmd.header = SB_HEADER;
    cmd.opcode = opcode;
    cmd.uuid = uint16_t(0xFF00 | item);
    cmd.len = length;
    if (length > 0)
        memcpy(cmd.payload, payload, length);
    if (!sendFrame(link, &cmd))
        return false;
    traceCommand(link, &cmd);
    return true;
}

// A reply of the awaited kind about the command's own item; a late answer
// to an earlier command or an event about something else is not.
bool answers(const sb_cmd_t &frame, uint8_t replyOpcode, uint8_t item)
{
    return frame.opcode == replyOpcode && uint8_t(frame.uuid & 0xFF) == item;
}

// Sends a command and takes its reply, skipping frames that do not answer
// it within the one receive budget. Only a reply of the expected length
// is taken, and only that is printed.
bool exchange(sb_link &link, uint8_t opcode, uint8_t item, const void *payload, uint8_t length,
              uint8_t replyOpcode, uint8_t replyLength, sb_cmd_t *reply)
{
    if (!sendCommand(link, opcode, item, payload, length))
        return false;
    std::this_thread::sleep_for(kReplyPause);
    int startReads = kReceiveTries + 1;
    // Even a trickle of foreign frames ends with the one frame budget.
    const Deadline deadline = frameDeadline(kReceiveTries, replyLength);
    do {
        if (!receiveFrame(link, reply, kReceiveTries, startReads, deadline))
            return false;
    } while (!answers(*reply, replyOpcode, item));
    if (reply->len != replyLength)
        return false;
    traceEvent(link, reply);
    return true;
}

bool readItem(sb_link *link, uint8_t item, void *record, uint8_t size)
{
    if (link == nullptr || !link->linkOpen || record == nullptr)
        return false;
    sb_cmd_t reply{};
    if (!exchange(*link, SB_OP_READ, item, nullptr, 0, SB_OP_READ_REPLY, size, &reply))
        return false;
    memcpy(record, reply.payload, size);
    return true;
}

// True when the band accepted the new value (result byte not 0).
bool writeItem(sb_link *link, uint8_t item, const void *record, uint8_t size)
{
    if (link == nullptr || !link->linkOpen || record == nullptr)
        return false;
    sb_cmd_t reply{};
    if (!exchange(*link, SB_OP_WRITE, item, record, size, SB_OP_WRITE_REPLY, kWriteReplyLength, &reply))
        return false;
    return reply.payload[0] != 0;
}

bool commandOnly(sb_link *link, uint8_t item)
{
    return link != nullptr && link->linkOpen && sendCommand(*link, SB_OP_WRITE, item, nullptr, 0);
}

// Takes whatever valid frame the band sends next.
bool listen(sb_link *link, uint8_t *buf)
{
    if (link == nullptr || !link->linkOpen || buf == nullptr)
        return false;
    sb_cmd_t evt{};
    if (!receiveFrame(*link, &evt, kReceiveTries))
        return false;
    memcpy(buf, evt.payload, evt.len);
    traceEvent(*link, &evt);
    return true;
}

} // namespace

// The band operations on a link; a null link is refused like a closed one.

bool sb_link_getVersion(sb_link *link, sb_version_t *version)
{
    return readItem(link, SB_ITEM_VERSION, version, sizeof *version);
}

bool sb_link_getTime(sb_link *link, sb_time_t *time)
{
    return readItem(link, SB_ITEM_TIME, time, sizeof *time);
}

bool sb_link_setTime(sb_link *link, const sb_time_t *time)
{
    return writeItem(link, SB_ITEM_TIME, time, sizeof *time);
}

bool sb_link_getSBConf(sb_link *link, sb_conf_t *conf)
{
    return readItem(link, SB_ITEM_CONF, conf, sizeof *conf);
}

bool sb_link_setSBConf(sb_link *link, const sb_conf_t *conf)
{
    return writeItem(link, SB_ITEM_CONF, conf, sizeof *conf);
}

bool sb_link_getLed(sb_link *link, sb_led_t *led)
{
    return readItem(link, SB_ITEM_LED, led, sizeof *led);
}

bool sb_link_setLed(sb_link *link, const sb_led_t *led)
{
    return writeItem(link, SB_ITEM_LED, led, sizeof *led);
}

bool sb_link_getAlarmClock(sb_link *link, sb_alarm_t *alarms)
{
    return readItem(link, SB_ITEM_ALARM, alarms, SB_ALARM_COUNT * sizeof *alarms);
}

bool sb_link_setAlarmClock(sb_link *link, const sb_alarm_t *alarms)
{
    return writeItem(link, SB_ITEM_ALARM, alarms, SB_ALARM_COUNT * sizeof *alarms);
}

bool sb_link_getSBStat(sb_link *link, sb_stat_t *stat)
{
    return readItem(link, SB_ITEM_STAT, stat, sizeof *stat);
}

bool sb_link_getSBDayData(sb_link *link, sb_day_data_t *data)
{
    return readItem(link, SB_ITEM_DAY_DATA, data, sizeof *data);
}

// Day 7 would ask for item 0x17 and day 0xEF for the version, and the
// reply to either would pass as a day's statistics.
bool sb_link_getDayStat(sb_link *link, uint8_t day, sb_day_stat_t *stat)
{
    if (day >= kDaysKept)
        return false;
    return readItem(link, uint8_t(SB_ITEM_DAY_STAT + day), stat, sizeof *stat);
}

bool sb_link_setReceiveMinStat(sb_link *link, const sb_index_t *index)
{
    return writeItem(link, SB_ITEM_INDEX, index, sizeof *index);
}

bool sb_link_setStartUpdata(sb_link *link)
{
    return commandOnly(link, SB_ITEM_START_UPLOAD);
}

bool sb_link_setStopUpdata(sb_link *link)
{
    return commandOnly(link, SB_ITEM_STOP_UPLOAD);
}

bool sb_link_reset(sb_link *link)
{
    return commandOnly(link, SB_ITEM_RESET);
}

bool sb_link_upgrade(sb_link *link)
{
    return commandOnly(link, SB_ITEM_UPGRADE);
}

bool sb_link_getMinStat(sb_link *link, uint8_t *buf)
{
    return listen(link, buf);
}

bool sb_link_getUpload(sb_link *link, uint8_t *buf)
{
    return listen(link, buf);
}

// The process-wide link's operations.

bool sb_getVersion(sb_version_t *version)
{
    return sb_link_getVersion(defaultLink(), version);
}

bool sb_getTime(sb_time_t *time)
{
    return sb_link_getTime(defaultLink(), time);
}

bool sb_setTime(const sb_time_t *time)
{
    return sb_link_setTime(defaultLink(), time);
}

bool sb_getSBConf(sb_conf_t *conf)
{
    return sb_link_getSBConf(defaultLink(), conf);
}

bool sb_setSBConf(const sb_conf_t *conf)
{
    return sb_link_setSBConf(defaultLink(), conf);
}

bool sb_getLed(sb_led_t *led)
{
    return sb_link_getLed(defaultLink(), led);
}

bool sb_setLed(const sb_led_t *led)
{
    return sb_link_setLed(defaultLink(), led);
}

bool sb_getAlarmClock(sb_alarm_t *alarms)
{
    return sb_link_getAlarmClock(defaultLink(), alarms);
}

bool sb_setAlarmClock(const sb_alarm_t *alarms)
{
    return sb_link_setAlarmClock(defaultLink(), alarms);
}

bool sb_getSBStat(sb_stat_t *stat)
{
    return sb_link_getSBStat(defaultLink(), stat);
}

bool sb_getSBDayData(sb_day_data_t *data)
{
    return sb_link_getSBDayData(defaultLink(), data);
}

bool sb_getDayStat(uint8_t day, sb_day_stat_t *stat)
{
    return sb_link_getDayStat(defaultLink(), day, stat);
}

bool sb_setReceiveMinStat(const sb_index_t *index)
{
    return sb_link_setReceiveMinStat(defaultLink(), index);
}

bool sb_setStartUpdata(void)
{
    return sb_link_setStartUpdata(defaultLink());
}

bool sb_setStopUpdata(void)
{
    return sb_link_setStopUpdata(defaultLink());
}

bool sb_reset(void)
{
    return sb_link_reset(defaultLink());
}

bool sb_upgrade(void)
{
    return sb_link_upgrade(defaultLink());
}

bool sb_getMinStat(uint8_t *buf)
{
    return sb_link_getMinStat(defaultLink(), buf);
}

bool sb_getUpload(uint8_t *buf)
{
    return sb_link_getUpload(defaultLink(), buf);
}

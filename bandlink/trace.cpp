// The protocol trace: every frame sent or accepted, printed field by field
// on standard output. The texts are read by people and by scripts that
// match them, so they stay exactly as they are.
#include "bandlink.h"

#include <cstdio>
#include <cstring>

namespace {

// The payload read as an item record (copied, as the payload is not aligned
// for it).
template <typename Record>
Record payloadAs(const sb_cmd_t *frame)
{
    Record record;
    memcpy(&record, frame->payload, sizeof record);
    return record;
}

unsigned read24(const uint8_t bytes[3])
{
    return unsigned(bytes[0]) | unsigned(bytes[1]) << 8 | unsigned(bytes[2]) << 16;
}

uint8_t itemCode(const sb_cmd_t *frame)
{
    return uint8_t(frame->uuid & 0xFF);
}

bool isWrite(const sb_cmd_t *frame)
{
    return (frame->opcode & 0x01) != 0;
}

bool isDayStat(uint8_t item)
{
    return item >= SB_ITEM_DAY_STAT && item <= SB_ITEM_DAY_STAT + 6;
}

const char *yesNo(uint8_t enabled)
{
    return enabled ? "TRUE" : "FALSE";
}

const char *sexName(uint8_t sex)
{
    return sex ? "female" : "male";
}

void printHead(const char *direction, const sb_cmd_t *frame)
{
    printf("%s\n", direction);
    printf("\tHeader: 0x%02x\n", frame->header);
    printf("\tOpcode: 0x%02x\t(%s)\n", frame->opcode, isWrite(frame) ? "Write" : "Read");
    printf("\tBcc:    0x%02x\n", frame->bcc);
    printf("\tLen:    %d\n", frame->len);
}

void printUuid(const sb_cmd_t *frame, const char *name)
{
    printf("\tUUID:   0x%02x%02x ( %s )\n", frame->uuid >> 8, frame->uuid & 0xFF, name);
}

void printLeds(const sb_cmd_t *frame)
{
    const sb_led_t led = payloadAs<sb_led_t>(frame);
    printf("\t[%d]\t", 0);
    printf("<enabled:%5s>\n", yesNo(led.enabled[0]));
    printf("\t[%d]\t", 1);
    printf("<enabled:%5s>\n", yesNo(led.enabled[1]));
}

void printClock(const sb_cmd_t *frame)
{
    const sb_time_t t = payloadAs<sb_time_t>(frame);
    printf("<y:%4d, m:%2d, d:%2d, h:%2d, m:%2d, s:%2d>\n",
           t.year + 2000, t.month, t.day, t.hour, t.minute, t.second);
}

void printAlarms(const sb_cmd_t *frame, const char *entryFormat)
{
    sb_alarm_t alarms[SB_ALARM_COUNT];
    memcpy(alarms, frame->payload, sizeof alarms);
    for (int i = 0; i < SB_ALARM_COUNT; ++i) {
        printf("\t[%d]\t", i);
        printf(entryFormat, alarms[i].minute, alarms[i].hour, alarms[i].mode);
    }
}

void printWriteCommand(const sb_cmd_t *cmd)
{
    switch (itemCode(cmd)) {
    case SB_ITEM_ALARM:
        printUuid(cmd, "alarm clock conf");
        printAlarms(cmd, "<minute:%2d, hour:%2d, mode:%02x>\n");
        break;
    case SB_ITEM_CONF: {
        printUuid(cmd, "pedometer conf");
        const sb_conf_t c = payloadAs<sb_conf_t>(cmd);
        printf("\t<weight:%3d, height:%3d, sex:%s, age:%2d, goal:%5d>\n",
               c.weight, c.height, sexName(c.sex), c.age, c.goal);
        break;
    }
    case SB_ITEM_LED:
        printUuid(cmd, "led conf");
        printLeds(cmd);
        break;
    case SB_ITEM_TIME:
        printUuid(cmd, "time");
        printf("\t[%d]\t", 0);
        printClock(cmd);
        break;
    case SB_ITEM_INDEX: {
        printUuid(cmd, "pedometer index");
        const sb_index_t index = payloadAs<sb_index_t>(cmd);
        printf("\t<%d, %3d >\n", index.value, index.index);
        break;
    }
    case SB_ITEM_START_UPLOAD:
        printUuid(cmd, "Turn on uploading data");
        break;
    case SB_ITEM_STOP_UPLOAD:
        printUuid(cmd, "Turn off uploading data");
        break;
    case SB_ITEM_RESET:
        printUuid(cmd, "Reset");
        break;
    default:
        break;
    }
}

void printReadCommand(const sb_cmd_t *cmd)
{
    const uint8_t item = itemCode(cmd);
    const char *name = nullptr;
    switch (item) {
    case SB_ITEM_ALARM: name = "alarm clock"; break;
    case SB_ITEM_CONF: name = "pedometer conf"; break;
    case SB_ITEM_STAT: name = "pedometer statistics"; break;
    case SB_ITEM_LED: name = "led conf"; break;
    case SB_ITEM_TIME: name = "pedometer time"; break;
    case SB_ITEM_DAY_DATA: name = "pedometer day-data"; break;
    case SB_ITEM_INDEX: name = "pedometer index"; break;
    case SB_ITEM_VERSION: name = "version"; break;
    default:
        if (isDayStat(item))
            name = "pedometer day-stat";
        break;
    }
    if (name != nullptr)
        printUuid(cmd, name);
}

void printWriteReply(const sb_cmd_t *evt)
{
    const char *name = nullptr;
    switch (itemCode(evt)) {
    case SB_ITEM_ALARM: name = "Write Alarm Clock"; break;
    case SB_ITEM_CONF: name = "Write PedoMeter Conf"; break;
    case SB_ITEM_LED: name = "Write Led Conf"; break;
    case SB_ITEM_TIME: name = "Write PedoMeter Time"; break;
    case SB_ITEM_INDEX: name = "Write PedoMeter Index"; break;
    case SB_ITEM_START_UPLOAD: name = "Turn on Uploading"; break;
    case SB_ITEM_STOP_UPLOAD: name = "Turn off Uploading"; break;
    default: break;
    }
    if (name != nullptr)
        printUuid(evt, name);
    printf("\tResult:  [%s]\n", evt->payload[0] != 0 ? "OK" : "ERROR");
}

void printStatistics(const sb_cmd_t *evt)
{
    const sb_stat_t s = payloadAs<sb_stat_t>(evt);
    printf("\t<y:%4d, m:%2d, d:%2d, h:%2d, m:%2d>\n",
           s.year + 2000, s.month + 1, s.day + 1, s.hour, s.minute);
    printf("\t<steps:%4d, distance:%4d, calorie:%4d>\n", s.steps, s.distance, s.calorie);
}

void printDayData(const sb_cmd_t *evt)
{
    const sb_day_data_t d = payloadAs<sb_day_data_t>(evt);
    printf("\t<y:%4d, m:%2d, d:%2d>\n", d.year + 2000, d.month + 1, d.day + 1);
    printf("\t<steps:%d, distance:%d, calorie:%d>\n",
           int(d.steps), int(d.distance), int(d.calorie));
}

void printMinStat(const sb_cmd_t *evt)
{
    const sb_min_stat_t m = payloadAs<sb_min_stat_t>(evt);
    printf("\t<y:%4d, m:%2d, d:%2d --- h:%2d, M:%2d>\n",
           m.year + 2000, m.month + 1, m.day + 1, m.hour, m.minute);
    printf("\t<steps:%d, distance:%d, calorie:%d, temperature:%3.1f, pressure:%4d >\n",
           m.steps, m.distance, m.calorie, m.temperature / 10.0, m.pressure);
}

void printDayStat(const sb_cmd_t *evt)
{
    const sb_day_stat_t d = payloadAs<sb_day_stat_t>(evt);
    printf("\t flag:%s---<y:%4d, m:%2d, d:%2d>\n",
           d.flag == SB_DAY_STAT_VALID ? "Ok" : "Err", d.year + 2000, d.month + 1, d.day + 1);
    printf("\t<steps:%d, distance:%d, calorie:%d, count:%d>\n",
           int(read24(d.steps)), int(read24(d.distance)), d.calorie, d.count);
}

// Two bytes to a tab-indented line.
void printUpload(const sb_cmd_t *evt)
{
    for (int i = 0; i < evt->len; ++i) {
        if (i % 2 == 0)
            printf("\n\t");
        printf("0x%02x ", evt->payload[i]);
    }
}

void printVersion(const sb_cmd_t *evt)
{
    const sb_version_t v = payloadAs<sb_version_t>(evt);
    printf("\t<Version:%02d:%02d:%02d:%02d>\n",
           v.version[0], v.version[1], v.version[2], v.version[3]);
    printf("\t<bluetooth address> %02x:%02x:%02x:%02x:%02x:%02x\n",
           v.bdaddr[0], v.bdaddr[1], v.bdaddr[2], v.bdaddr[3], v.bdaddr[4], v.bdaddr[5]);
}

void printReadReply(const sb_cmd_t *evt)
{
    const uint8_t item = itemCode(evt);
    switch (item) {
    case SB_ITEM_ALARM:
        printUuid(evt, "alarm clock");
        printAlarms(evt, "<minute:%02d, hour:%02d, mode:%02x>\n");
        break;
    case SB_ITEM_CONF: {
        printUuid(evt, "pedometer conf");
        const sb_conf_t c = payloadAs<sb_conf_t>(evt);
        printf("\t<weight:%03d, height:%03d, sex:%s, age:%02d, goal:%05d>\n",
               c.weight, c.height, sexName(c.sex), c.age, c.goal);
        break;
    }
    case SB_ITEM_STAT:
        printUuid(evt, "pedometer statistics");
        printStatistics(evt);
        break;
    case SB_ITEM_LED:
        printUuid(evt, "led conf");
        printLeds(evt);
        break;
    case SB_ITEM_TIME:
        printUuid(evt, "pedometer time");
        printf("\t");
        printClock(evt);
        break;
    case SB_ITEM_DAY_DATA:
        printUuid(evt, "pedometer day-data");
        printDayData(evt);
        break;
    case SB_ITEM_INDEX:
        printUuid(evt, "pedometer min-stat");
        printMinStat(evt);
        break;
    case SB_ITEM_UPLOAD:
        printUuid(evt, "uploading data");
        printUpload(evt);
        break;
    case SB_ITEM_VERSION:
        printUuid(evt, "version");
        printVersion(evt);
        break;
    default:
        if (isDayStat(item)) {
            printUuid(evt, "pedometer day-stat");
            printDayStat(evt);
        }
        break;
    }
}

} // namespace

void sb_dbg_cmd(const sb_cmd_t *cmd)
{
    if (cmd == nullptr)
        return;
    printHead("[PC]  ---->  [USB]", cmd);
    if (isWrite(cmd))
        printWriteCommand(cmd);
    else
        printReadCommand(cmd);
    printf("\n");
}

void sb_dbg_evt(const sb_cmd_t *evt)
{
    if (evt == nullptr)
        return;
    printHead("[PC]  <----  [USB]", evt);
    if (isWrite(evt))
        printWriteReply(evt);
    else
        printReadReply(evt);
    printf("\n");
}

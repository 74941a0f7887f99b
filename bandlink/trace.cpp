// The protocol trace: every frame sent or accepted, printed field by field
// on standard output. The texts are read by people and by scripts that
// match them, so they stay exactly as they are.
#include "bandlink.h"
#include "link_internal.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

#if defined(__GNUC__) && !defined(__clang__)
#  define TRACE_FORMAT(f, a) __attribute__((format(gnu_printf, f, a)))
#elif defined(__GNUC__)
#  define TRACE_FORMAT(f, a) __attribute__((format(printf, f, a)))
#else
#  define TRACE_FORMAT(f, a)
#endif

// One frame's block of lines, formatted in full and then written with one
// call: stdio takes its lock per call, so blocks from several threads never
// mix, and a terminal gets one write per frame instead of one per line.
// The largest block (255 payload bytes) is under 2 KiB.
class Block {
public:
    void add(const char *format, ...) TRACE_FORMAT(2, 3)
    {
        va_list args;
        va_start(args, format);
        const int n = vsnprintf(text + size, sizeof text - size, format, args);
        va_end(args);
        if (n > 0)
            size = std::min(sizeof text - 1, size + size_t(n));
    }
    void write() const { fwrite(text, 1, size, stdout); }

private:
    char text[4096];
    size_t size = 0;
};

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

// With several bands in one process their blocks would look alike: a link
// of its own names its band in the block's first line. The process-wide
// link's blocks stay as they have always been.
void printBand(Block &out, const char *band)
{
    if (band[0] != '\0')
        out.add("[band %s]\n", band);
}

void printHead(Block &out, const char *direction, const sb_cmd_t *frame)
{
    out.add("%s\n", direction);
    out.add("\tHeader: 0x%02x\n", frame->header);
    out.add("\tOpcode: 0x%02x\t(%s)\n", frame->opcode, isWrite(frame) ? "Write" : "Read");
    out.add("\tBcc:    0x%02x\n", frame->bcc);
    out.add("\tLen:    %d\n", frame->len);
}

void printUuid(Block &out, const sb_cmd_t *frame, const char *name)
{
    out.add("\tUUID:   0x%02x%02x ( %s )\n", frame->uuid >> 8, frame->uuid & 0xFF, name);
}

void printLeds(Block &out, const sb_cmd_t *frame)
{
    const sb_led_t led = payloadAs<sb_led_t>(frame);
    out.add("\t[%d]\t", 0);
    out.add("<enabled:%5s>\n", yesNo(led.enabled[0]));
    out.add("\t[%d]\t", 1);
    out.add("<enabled:%5s>\n", yesNo(led.enabled[1]));
}

void printClock(Block &out, const sb_cmd_t *frame)
{
    const sb_time_t t = payloadAs<sb_time_t>(frame);
    out.add("<y:%4d, m:%2d, d:%2d, h:%2d, m:%2d, s:%2d>\n",
           t.year + 2000, t.month, t.day, t.hour, t.minute, t.second);
}

void printAlarms(Block &out, const sb_cmd_t *frame, const char *entryFormat)
{
    sb_alarm_t alarms[SB_ALARM_COUNT];
    memcpy(alarms, frame->payload, sizeof alarms);
    for (int i = 0; i < SB_ALARM_COUNT; ++i) {
        out.add("\t[%d]\t", i);
        out.add(entryFormat, alarms[i].minute, alarms[i].hour, alarms[i].mode);
    }
}

void printWriteCommand(Block &out, const sb_cmd_t *cmd)
{
    switch (itemCode(cmd)) {
    case SB_ITEM_ALARM:
        printUuid(out, cmd, "alarm clock conf");
        printAlarms(out, cmd, "<minute:%2d, hour:%2d, mode:%02x>\n");
        break;
    case SB_ITEM_CONF: {
        printUuid(out, cmd, "pedometer conf");
        const sb_conf_t c = payloadAs<sb_conf_t>(cmd);
        out.add("\t<weight:%3d, height:%3d, sex:%s, age:%2d, goal:%5d>\n",
               c.weight, c.height, sexName(c.sex), c.age, c.goal);
        break;
    }
    case SB_ITEM_LED:
        printUuid(out, cmd, "led conf");
        printLeds(out, cmd);
        break;
    case SB_ITEM_TIME:
        printUuid(out, cmd, "time");
        out.add("\t[%d]\t", 0);
        printClock(out, cmd);
        break;
    case SB_ITEM_INDEX: {
        printUuid(out, cmd, "pedometer index");
        const sb_index_t index = payloadAs<sb_index_t>(cmd);
        out.add("\t<%d, %3d >\n", index.value, index.index);
        break;
    }
    case SB_ITEM_START_UPLOAD:
        printUuid(out, cmd, "Turn on uploading data");
        break;
    case SB_ITEM_STOP_UPLOAD:
        printUuid(out, cmd, "Turn off uploading data");
        break;
    case SB_ITEM_RESET:
        printUuid(out, cmd, "Reset");
        break;
    default:
        break;
    }
}

void printReadCommand(Block &out, const sb_cmd_t *cmd)
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
        printUuid(out, cmd, name);
}

void printWriteReply(Block &out, const sb_cmd_t *evt)
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
        printUuid(out, evt, name);
    out.add("\tResult:  [%s]\n", evt->payload[0] != 0 ? "OK" : "ERROR");
}

void printStatistics(Block &out, const sb_cmd_t *evt)
{
    const sb_stat_t s = payloadAs<sb_stat_t>(evt);
    out.add("\t<y:%4d, m:%2d, d:%2d, h:%2d, m:%2d>\n",
           s.year + 2000, s.month + 1, s.day + 1, s.hour, s.minute);
    out.add("\t<steps:%4d, distance:%4d, calorie:%4d>\n", s.steps, s.distance, s.calorie);
}

void printDayData(Block &out, const sb_cmd_t *evt)
{
    const sb_day_data_t d = payloadAs<sb_day_data_t>(evt);
    out.add("\t<y:%4d, m:%2d, d:%2d>\n", d.year + 2000, d.month + 1, d.day + 1);
    out.add("\t<steps:%d, distance:%d, calorie:%d>\n",
           int(d.steps), int(d.distance), int(d.calorie));
}

void printMinStat(Block &out, const sb_cmd_t *evt)
{
    const sb_min_stat_t m = payloadAs<sb_min_stat_t>(evt);
    out.add("\t<y:%4d, m:%2d, d:%2d --- h:%2d, M:%2d>\n",
           m.year + 2000, m.month + 1, m.day + 1, m.hour, m.minute);
    out.add("\t<steps:%d, distance:%d, calorie:%d, temperature:%3.1f, pressure:%4d >\n",
           m.steps, m.distance, m.calorie, m.temperature / 10.0, m.pressure);
}

void printDayStat(Block &out, const sb_cmd_t *evt)
{
    const sb_day_stat_t d = payloadAs<sb_day_stat_t>(evt);
    out.add("\t flag:%s---<y:%4d, m:%2d, d:%2d>\n",
           d.flag == SB_DAY_STAT_VALID ? "Ok" : "Err", d.year + 2000, d.month + 1, d.day + 1);
    out.add("\t<steps:%d, distance:%d, calorie:%d, count:%d>\n",
           int(read24(d.steps)), int(read24(d.distance)), d.calorie, d.count);
}

// Two bytes to a tab-indented line.
void printUpload(Block &out, const sb_cmd_t *evt)
{
    for (int i = 0; i < evt->len; ++i) {
        if (i % 2 == 0)
            out.add("\n\t");
        out.add("0x%02x ", evt->payload[i]);
    }
}

void printVersion(Block &out, const sb_cmd_t *evt)
{
    const sb_version_t v = payloadAs<sb_version_t>(evt);
    out.add("\t<Version:%02d:%02d:%02d:%02d>\n",
           v.version[0], v.version[1], v.version[2], v.version[3]);
    out.add("\t<bluetooth address> %02x:%02x:%02x:%02x:%02x:%02x\n",
           v.bdaddr[0], v.bdaddr[1], v.bdaddr[2], v.bdaddr[3], v.bdaddr[4], v.bdaddr[5]);
}

void printReadReply(Block &out, const sb_cmd_t *evt)
{
    const uint8_t item = itemCode(evt);
    switch (item) {
    case SB_ITEM_ALARM:
        printUuid(out, evt, "alarm clock");
        printAlarms(out, evt, "<minute:%02d, hour:%02d, mode:%02x>\n");
        break;
    case SB_ITEM_CONF: {
        printUuid(out, evt, "pedometer conf");
        const sb_conf_t c = payloadAs<sb_conf_t>(evt);
        out.add("\t<weight:%03d, height:%03d, sex:%s, age:%02d, goal:%05d>\n",
               c.weight, c.height, sexName(c.sex), c.age, c.goal);
        break;
    }
    case SB_ITEM_STAT:
        printUuid(out, evt, "pedometer statistics");
        printStatistics(out, evt);
        break;
    case SB_ITEM_LED:
        printUuid(out, evt, "led conf");
        printLeds(out, evt);
        break;
    case SB_ITEM_TIME:
        printUuid(out, evt, "pedometer time");
        out.add("\t");
        printClock(out, evt);
        break;
    case SB_ITEM_DAY_DATA:
        printUuid(out, evt, "pedometer day-data");
        printDayData(out, evt);
        break;
    case SB_ITEM_INDEX:
        printUuid(out, evt, "pedometer min-stat");
        printMinStat(out, evt);
        break;
    case SB_ITEM_UPLOAD:
        printUuid(out, evt, "uploading data");
        printUpload(out, evt);
        break;
    case SB_ITEM_VERSION:
        printUuid(out, evt, "version");
        printVersion(out, evt);
        break;
    default:
        if (isDayStat(item)) {
            printUuid(out, evt, "pedometer day-stat");
            printDayStat(out, evt);
        }
        break;
    }
}

} // namespace

namespace {

void printCommand(const char *band, const sb_cmd_t *cmd)
{
    if (cmd == nullptr)
        return;
    Block out;
    printBand(out, band);
    printHead(out, "[PC]  ---->  [USB]", cmd);
    if (isWrite(cmd))
        printWriteCommand(out, cmd);
    else
        printReadCommand(out, cmd);
    out.add("\n");
    out.write();
}

void printEvent(const char *band, const sb_cmd_t *evt)
{
    if (evt == nullptr)
        return;
    Block out;
    printBand(out, band);
    printHead(out, "[PC]  <----  [USB]", evt);
    if (isWrite(evt))
        printWriteReply(out, evt);
    else
        printReadReply(out, evt);
    out.add("\n");
    out.write();
}

} // namespace

void bandlink::traceCommand(const sb_link &link, const sb_cmd_t *cmd)
{
    printCommand(link.name, cmd);
}

void bandlink::traceEvent(const sb_link &link, const sb_cmd_t *evt)
{
    printEvent(link.name, evt);
}

void sb_dbg_cmd(const sb_cmd_t *cmd)
{
    printCommand("", cmd);
}

void sb_dbg_evt(const sb_cmd_t *evt)
{
    printEvent("", evt);
}

void sb_link_dbg_cmd(const sb_link *link, const sb_cmd_t *cmd)
{
    if (link != nullptr)
        printCommand(link->name, cmd);
}

void sb_link_dbg_evt(const sb_link *link, const sb_cmd_t *evt)
{
    if (link != nullptr)
        printEvent(link->name, evt);
}

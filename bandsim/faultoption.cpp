#include "faultoption.h"

#include <cerrno>
#include <cstdlib>

namespace bandsim {

namespace {

struct FaultName {
    const char *name;
    Fault fault;
    const char *what;
};

const FaultName kFaults[] = {
    {"no-answer", Fault::NoAnswer, "the command is swallowed"},
    {"late-answer", Fault::LateAnswer, "the reply comes 1.2 s late, after the receiver has given up"},
    {"stray-bytes", Fault::StrayBytes, "stray bytes (not 0xAA) before the reply frame"},
    {"wrong-check-byte", Fault::WrongCheckByte, "the reply's check byte is off by one bit"},
    {"payload-in-pieces", Fault::PayloadInPieces, "the reply's payload comes in two parts, 60 ms apart"},
    {"wrong-length", Fault::WrongLength, "the reply carries one payload byte less"},
    {"refused-write", Fault::RefusedWrite, "a write is answered with result byte 0"},
    {"stores-different-value", Fault::StoresDifferentValue, "a write is accepted but a changed value is stored"},
    {"stores-different-last-field", Fault::StoresDifferentLastField,
     "the same, but the last field changes (year, goal, LED 1, alarm 7's hour)"},
    {"drops-off-after-answer", Fault::DropsOffAfterAnswer, "the band answers, then drops off its port"},
};

struct ItemName {
    const char *name;
    uint8_t code;
};

const ItemName kItems[] = {
    {"alarm", SB_ITEM_ALARM}, {"conf", SB_ITEM_CONF}, {"stat", SB_ITEM_STAT}, {"led", SB_ITEM_LED},
    {"time", SB_ITEM_TIME}, {"day-data", SB_ITEM_DAY_DATA}, {"index", SB_ITEM_INDEX},
    {"day-stat-0", SB_ITEM_DAY_STAT}, {"day-stat-1", SB_ITEM_DAY_STAT + 1}, {"day-stat-2", SB_ITEM_DAY_STAT + 2},
    {"day-stat-3", SB_ITEM_DAY_STAT + 3}, {"day-stat-4", SB_ITEM_DAY_STAT + 4},
    {"day-stat-5", SB_ITEM_DAY_STAT + 5}, {"day-stat-6", SB_ITEM_DAY_STAT + 6},
    {"start-upload", SB_ITEM_START_UPLOAD}, {"stop-upload", SB_ITEM_STOP_UPLOAD}, {"reset", SB_ITEM_RESET},
    {"upgrade", SB_ITEM_UPGRADE}, {"version", SB_ITEM_VERSION},
};

// An item name, or a code from 0 to 255 (decimal, or hexadecimal with 0x).
std::optional<int> parseItem(const std::string &text)
{
    for (const ItemName &item : kItems) {
        if (text == item.name)
            return item.code;
    }
    char *end = nullptr;
    errno = 0;
    const long code = std::strtol(text.c_str(), &end, 0);
    if (text.empty() || errno != 0 || *end != '\0' || code < 0 || code > 255)
        return std::nullopt;
    return int(code);
}

} // namespace

std::optional<FaultSetting> parseFaultSetting(const std::string &text, std::string *error)
{
    const size_t colon = text.find(':');
    const std::string name = text.substr(0, colon);
    FaultSetting setting;
    for (const FaultName &fault : kFaults) {
        if (name == fault.name)
            setting.fault = fault.fault;
    }
    if (setting.fault == Fault::None) {
        *error = "unknown fault \"" + name + "\"";
        return std::nullopt;
    }
    if (colon == std::string::npos)
        return setting;
    const auto item = parseItem(text.substr(colon + 1));
    if (!item) {
        *error = "unknown item \"" + text.substr(colon + 1) + "\" (a name from --help, or a code 0 to 255)";
        return std::nullopt;
    }
    setting.item = *item;
    return setting;
}

void printFaultNames(FILE *to)
{
    std::fprintf(to, "Faults:\n");
    for (const FaultName &fault : kFaults)
        std::fprintf(to, "  %-24s %s\n", fault.name, fault.what);
    std::fprintf(to, "Items (a name, or a code such as 0x05):\n ");
    int column = 1;
    for (const ItemName &item : kItems) {
        char entry[32];
        const int width = std::snprintf(entry, sizeof entry, " %s 0x%02X", item.name, item.code);
        if (column + width + 1 > 78) {
            std::fprintf(to, "\n ");
            column = 1;
        }
        std::fprintf(to, "%s%s", entry, &item == &kItems[std::size(kItems) - 1] ? "\n" : ",");
        column += width + 1;
    }
}

std::string describe(const FaultSetting &setting)
{
    std::string text;
    for (const FaultName &fault : kFaults) {
        if (fault.fault == setting.fault)
            text = fault.name;
    }
    if (setting.item < 0)
        return text + " on every item";
    char code[16];
    std::snprintf(code, sizeof code, "0x%02X", setting.item);
    for (const ItemName &item : kItems) {
        if (item.code == setting.item)
            return text + " on " + item.name + " (" + code + ")";
    }
    return text + " on item " + code;
}

} // namespace bandsim

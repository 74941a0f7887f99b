// What a test writes into the band, as def.xml defines it.
#pragma once

#include <bandlink.h>

#include <QString>

#include <array>
#include <optional>

using AlarmTable = std::array<sb_alarm_t, SB_ALARM_COUNT>;

struct TestDefinition {
    sb_conf_t person{};
    sb_led_t led{};
    // None: the band keeps its own alarms (the table read from it is written back).
    std::optional<AlarmTable> alarms;
    QString defSha256; // of the def.xml it came from
};

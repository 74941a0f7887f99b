// The band's items and what one command does to them.
#pragma once

#include "bandclock.h"
#include "frame.h"

#include <bandsim/virtualband.h>

#include <array>
#include <optional>

namespace bandsim {

struct CommandOutcome {
    enum class Effect { None, StartMinStat, StartUpload, StopUpload, Restart, Upgrade };

    bool ignored = false;        // unknown command, or swallowed by a fault
    std::optional<Frame> reply;  // none for ignored commands and commands without reply
    Effect effect = Effect::None;
};

class BandState {
public:
    explicit BandState(BandClock::Steady::time_point now);

    // Acts on one command frame (check byte already verified).
    CommandOutcome handle(const Frame &command, Fault fault, BandClock::Steady::time_point now);

    Frame nextMinStatEvent(BandClock::Steady::time_point now);
    Frame nextUploadEvent(size_t payloadSize);

    sb_time_t clock(BandClock::Steady::time_point now) const { return bandClock.read(now); }
    void stopClock() { bandClock.stop(); }
    sb_conf_t conf() const { return wearer; }
    sb_led_t led() const { return leds; }
    std::array<sb_alarm_t, SB_ALARM_COUNT> alarmTable() const { return alarms; }
    void setAlarmTable(const std::array<sb_alarm_t, SB_ALARM_COUNT> &table) { alarms = table; }
    sb_version_t version() const { return firmware; }
    void setBluetoothAddress(const std::array<uint8_t, 6> &address);

private:
    CommandOutcome read(uint8_t item, BandClock::Steady::time_point now) const;
    CommandOutcome write(const Frame &command, Fault fault, BandClock::Steady::time_point now);

    BandClock bandClock;
    sb_conf_t wearer;
    sb_led_t leds;
    std::array<sb_alarm_t, SB_ALARM_COUNT> alarms;
    sb_index_t minStatIndex;
    sb_version_t firmware;
    uint32_t minStatSequence = 0;
    uint32_t uploadSequence = 0;
};

} // namespace bandsim

// A band that lives in software: it owns the band's end of a cable (the
// master side of a pseudo-terminal, or a named pipe on Windows) and answers
// on it as the band answers on its serial port.
#pragma once

#include <bandlink.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace bandsim {

// A fault switched on for one item code; it applies to every command for
// that item until cleared.
enum class Fault {
    None,
    NoAnswer,            // the command is swallowed
    LateAnswer,          // the reply comes after the receiver's budget
    StrayBytes,          // stray bytes (not 0xAA) before the reply frame
    WrongCheckByte,      // the reply's check byte is off by one bit
    PayloadInPieces,     // the reply's payload arrives in two parts with a pause
    WrongLength,         // the reply carries one payload byte less
    RefusedWrite,        // a write is answered with result byte 0
    StoresDifferentValue, // a write is accepted but a changed value is stored (its first byte)
    StoresDifferentLastField, // the same, but the item's last field changes: the year, the goal,
                              // LED 1, alarm entry 7's hour
    DropsOffAfterAnswer   // the band answers, then drops off its port (cable pulled)
};

struct Options {
    // Deliver every output byte no earlier than a 115200 bit/s wire would
    // (86.8 us a byte), and see each command only after its own bytes would
    // have crossed the wire.
    bool paced = false;
    // Stray bytes sent before the reply under Fault::StrayBytes.
    int strayByteCount = 3;
    // Payload bytes of each uploading-data event; the first four carry the
    // event's sequence number, little-endian, counted from 0.
    int uploadPayloadSize = 16;
    // Pause between two min-stat events.
    int minStatIntervalMs = 1000;
    // The band's Bluetooth address in stored order; all zero (the default):
    // one of its own, 5a:1b, then the process and a count of bands in it.
    std::array<uint8_t, 6> bluetoothAddress{};
};

class VirtualBand {
public:
    explicit VirtualBand(Options options = {});
    ~VirtualBand(); // unplugs and joins the band's thread

    // True while any virtual band exists in this process: what such a
    // process records is never production.
    static bool anyInProcess();

    VirtualBand(const VirtualBand &) = delete;
    VirtualBand &operator=(const VirtualBand &) = delete;

    // Creates the band's end of the cable and starts answering on it. False
    // (with nothing left running) when none could be had.
    bool plugIn();
    // Drops off the port: the master side closes, an open slave sees a hang-up.
    void unplug();
    bool isPluggedIn() const;
    // Slave device path while plugged in, empty otherwise.
    std::string devicePath() const;

    // The clock keeps the time last set instead of running on, so that a
    // scripted session gives the same answers every time.
    void stopClock();

    void setFault(uint8_t itemCode, Fault fault);
    void clearFaults();

    // Called on the band's own thread after the band has dropped off its
    // port because of a reset or an upgrade command. plugIn() from inside
    // the callback is refused (the thread cannot wait for itself); plug the
    // band back in from another thread.
    void onRestart(std::function<void()> callback);
    void onUpgrade(std::function<void()> callback);

    // State, for tests and observers (thread-safe snapshots).
    sb_time_t clock() const;        // runs from the time last set
    sb_conf_t conf() const;
    sb_led_t led() const;
    std::array<sb_alarm_t, SB_ALARM_COUNT> alarms() const;
    // A table of the band's own, as if a program had written it earlier.
    void setAlarms(const std::array<sb_alarm_t, SB_ALARM_COUNT> &table);
    sb_version_t version() const;
    // Every command frame received (wire bytes), oldest first, including
    // those ignored for a bad check byte; the most recent 100000 are kept.
    std::vector<std::vector<uint8_t>> commandsReceived() const;
    void clearCommandsReceived();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace bandsim

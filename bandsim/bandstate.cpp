#include "bandstate.h"

#include "activityrecords.h"

#include <atomic>
#include <cstring>

#include <unistd.h>

namespace bandsim {

namespace {

template <typename Record>
Bytes bytesOf(const Record &record)
{
    const auto *begin = reinterpret_cast<const uint8_t *>(&record);
    return Bytes(begin, begin + sizeof(Record));
}

template <typename Record>
Record recordOf(const Bytes &bytes)
{
    Record record{};
    std::memcpy(&record, bytes.data(), sizeof(Record) < bytes.size() ? sizeof(Record) : bytes.size());
    return record;
}

CommandOutcome readReply(uint8_t item, Bytes payload)
{
    CommandOutcome outcome;
    outcome.reply = Frame{SB_OP_READ_REPLY, item, std::move(payload)};
    return outcome;
}

CommandOutcome writeReply(uint8_t item, bool accepted)
{
    CommandOutcome outcome;
    outcome.reply = Frame{SB_OP_WRITE_REPLY, item, Bytes{uint8_t(accepted ? 1 : 0)}};
    return outcome;
}

CommandOutcome effectOnly(CommandOutcome::Effect effect)
{
    CommandOutcome outcome;
    outcome.effect = effect;
    return outcome;
}

CommandOutcome ignoredCommand()
{
    CommandOutcome outcome;
    outcome.ignored = true;
    return outcome;
}

} // namespace

BandState::BandState(BandClock::Steady::time_point now)
    : bandClock(now), wearer{60, 170, 0, 30, 8000}, leds{{0, 0}}, alarms{}, minStatIndex{},
      firmware{{1, 2, 3, 4}, {0x5A, 0x1B, 0, 0, 0, 0}}
{
    // Each virtual band its own address, so that records tell them apart:
    // the process (two bytes) and a count of bands in it (two bytes).
    static std::atomic<uint16_t> bandsMade{0};
    const auto pid = uint16_t(::getpid());
    const uint16_t serial = ++bandsMade;
    firmware.bdaddr[2] = uint8_t(pid >> 8);
    firmware.bdaddr[3] = uint8_t(pid);
    firmware.bdaddr[4] = uint8_t(serial >> 8);
    firmware.bdaddr[5] = uint8_t(serial);
}

void BandState::setBluetoothAddress(const std::array<uint8_t, 6> &address)
{
    std::memcpy(firmware.bdaddr, address.data(), address.size());
}

CommandOutcome BandState::handle(const Frame &command, Fault fault, BandClock::Steady::time_point now)
{
    if (fault == Fault::NoAnswer)
        return ignoredCommand();
    if (command.opcode == SB_OP_READ)
        return read(command.item, now);
    if (command.opcode == SB_OP_WRITE)
        return write(command, fault, now);
    return ignoredCommand();
}

CommandOutcome BandState::read(uint8_t item, BandClock::Steady::time_point now) const
{
    const int64_t seconds = bandClock.secondsSince2000(now);
    switch (item) {
    case SB_ITEM_VERSION: return readReply(item, bytesOf(firmware));
    case SB_ITEM_TIME: return readReply(item, bytesOf(bandClock.read(now)));
    case SB_ITEM_CONF: return readReply(item, bytesOf(wearer));
    case SB_ITEM_LED: return readReply(item, bytesOf(leds));
    case SB_ITEM_ALARM: return readReply(item, bytesOf(alarms));
    case SB_ITEM_STAT: return readReply(item, bytesOf(statisticsAt(seconds)));
    case SB_ITEM_DAY_DATA: return readReply(item, bytesOf(dayDataAt(seconds)));
    default: break;
    }
    if (item >= SB_ITEM_DAY_STAT && item < SB_ITEM_DAY_STAT + 7)
        return readReply(item, bytesOf(dayStatAt(seconds, item - SB_ITEM_DAY_STAT)));
    return ignoredCommand();
}

CommandOutcome BandState::write(const Frame &command, Fault fault, BandClock::Steady::time_point now)
{
    using Effect = CommandOutcome::Effect;
    switch (command.item) {
    case SB_ITEM_START_UPLOAD:
        uploadSequence = 0;
        return effectOnly(Effect::StartUpload);
    case SB_ITEM_STOP_UPLOAD: return effectOnly(Effect::StopUpload);
    case SB_ITEM_RESET: return effectOnly(Effect::Restart);
    case SB_ITEM_UPGRADE: return effectOnly(Effect::Upgrade);
    default: break;
    }

    size_t expectedSize = 0;
    switch (command.item) {
    case SB_ITEM_TIME: expectedSize = sizeof(sb_time_t); break;
    case SB_ITEM_CONF: expectedSize = sizeof(sb_conf_t); break;
    case SB_ITEM_LED: expectedSize = sizeof(sb_led_t); break;
    case SB_ITEM_ALARM: expectedSize = sizeof(alarms); break;
    case SB_ITEM_INDEX: expectedSize = sizeof(sb_index_t); break;
    default: return ignoredCommand();
    }

    // A write of the wrong size, or a clock that is no date, is refused
    // rather than stored half or wrong.
    bool accepted = fault != Fault::RefusedWrite && command.payload.size() == expectedSize;
    if (accepted && command.item == SB_ITEM_TIME)
        accepted = BandClock::isValid(recordOf<sb_time_t>(command.payload));
    if (!accepted)
        return writeReply(command.item, false);

    Bytes value = command.payload;
    if (fault == Fault::StoresDifferentValue)
        value[0] = uint8_t(value[0] + 1);
    if (fault == Fault::StoresDifferentLastField) {
        // A read-back that compares only the first field must miss this.
        // The alarm table's last byte is not interpreted: entry 7's hour is
        // its last field.
        const size_t last = command.item == SB_ITEM_ALARM ? value.size() - 2 : value.size() - 1;
        value[last] = uint8_t(value[last] + 1);
    }

    CommandOutcome outcome = writeReply(command.item, true);
    switch (command.item) {
    case SB_ITEM_TIME: bandClock.set(recordOf<sb_time_t>(value), now); break;
    case SB_ITEM_CONF: wearer = recordOf<sb_conf_t>(value); break;
    case SB_ITEM_LED: leds = recordOf<sb_led_t>(value); break;
    case SB_ITEM_ALARM: alarms = recordOf<decltype(alarms)>(value); break;
    case SB_ITEM_INDEX:
        minStatIndex = recordOf<sb_index_t>(value);
        outcome.effect = Effect::StartMinStat;
        break;
    }
    return outcome;
}

Frame BandState::nextMinStatEvent(BandClock::Steady::time_point now)
{
    const sb_min_stat_t stat = minStatAt(bandClock.secondsSince2000(now), minStatSequence++);
    return Frame{SB_OP_READ_REPLY, SB_ITEM_INDEX, bytesOf(stat)};
}

Frame BandState::nextUploadEvent(size_t payloadSize)
{
    const uint32_t sequence = uploadSequence++;
    Bytes payload(payloadSize);
    for (size_t i = 0; i < payloadSize; ++i)
        payload[i] = i < 4 ? uint8_t(sequence >> (8 * i)) : uint8_t(sequence + i);
    return Frame{SB_OP_READ_REPLY, SB_ITEM_UPLOAD, std::move(payload)};
}

} // namespace bandsim

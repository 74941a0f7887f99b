// The band operations the tester's sequence, the burner's cycle and bandctl
// use, on a link of the band's own: one band or many in one process, each on
// its own thread. (bandlink's process-wide functions serve callers of its
// original interface; the programs here never use them.)
#pragma once

#include <bandlink.h>

#include <string>
#include <utility>

class BandChannel {
public:
    // devicePath: the port's path; empty when not known.
    explicit BandChannel(std::string devicePath = {}) : path(std::move(devicePath)) {}
    virtual ~BandChannel() = default;

    const std::string &devicePath() const { return path; }
    // After open() failed: whether another program holds the port, so that
    // the band is not to blame. False when the path is not known.
    bool heldElsewhere() const;

    virtual bool open() = 0;
    // Closes what open() opened; harmless when nothing is open.
    virtual void close() = 0;

    virtual bool getVersion(sb_version_t *version) = 0;
    virtual bool setTime(const sb_time_t *time) = 0;
    virtual bool getTime(sb_time_t *time) = 0;
    virtual bool setConf(const sb_conf_t *conf) = 0;
    virtual bool getConf(sb_conf_t *conf) = 0;
    virtual bool setLed(const sb_led_t *led) = 0;
    virtual bool getLed(sb_led_t *led) = 0;
    // alarms: a table of SB_ALARM_COUNT entries
    virtual bool setAlarms(const sb_alarm_t *alarms) = 0;
    virtual bool getAlarms(sb_alarm_t *alarms) = 0;
    virtual bool getStat(sb_stat_t *stat) = 0;
    virtual bool getDayData(sb_day_data_t *data) = 0;
    // day: 0 to 6
    virtual bool getDayStat(uint8_t day, sb_day_stat_t *stat) = 0;
    virtual bool reset() = 0;
    virtual bool upgrade() = 0;

    // The band's streams: min-stat events from index on (they stop only when
    // the band restarts), and upload events until stopped.
    virtual bool startMinStat(const sb_index_t *index) = 0;
    virtual bool startUpload() = 0;
    virtual bool stopUpload() = 0;
    // The band's next frame whatever it is about (its events come unasked),
    // traced like an operation's reply; tries as for sb_recv_evt.
    virtual bool receiveEvent(sb_cmd_t *frame, uint8_t tries) = 0;

private:
    std::string path;
};

// A link of its own on the band's device path; used by one thread at a time,
// closed when the channel goes.
class LinkChannel : public BandChannel {
public:
    // Whether the trace names the band before each of its blocks: needed
    // where several bands share the trace; a program with one band keeps the
    // trace it has always printed.
    enum class TraceName { Band, None };

    explicit LinkChannel(std::string devicePath, TraceName traceName = TraceName::Band)
        : BandChannel(std::move(devicePath)), traceName(traceName) {}
    ~LinkChannel() override { close(); }
    LinkChannel(const LinkChannel &) = delete;
    LinkChannel &operator=(const LinkChannel &) = delete;

    bool open() override;
    void close() override;
    bool getVersion(sb_version_t *version) override;
    bool setTime(const sb_time_t *time) override;
    bool getTime(sb_time_t *time) override;
    bool setConf(const sb_conf_t *conf) override;
    bool getConf(sb_conf_t *conf) override;
    bool setLed(const sb_led_t *led) override;
    bool getLed(sb_led_t *led) override;
    bool setAlarms(const sb_alarm_t *alarms) override;
    bool getAlarms(sb_alarm_t *alarms) override;
    bool getStat(sb_stat_t *stat) override;
    bool getDayData(sb_day_data_t *data) override;
    bool getDayStat(uint8_t day, sb_day_stat_t *stat) override;
    bool reset() override;
    bool upgrade() override;
    bool startMinStat(const sb_index_t *index) override;
    bool startUpload() override;
    bool stopUpload() override;
    bool receiveEvent(sb_cmd_t *frame, uint8_t tries) override;

private:
    const TraceName traceName;
    sb_link *link = nullptr;
};

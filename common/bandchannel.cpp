#include "bandchannel.h"

#include "portholder.h"

#include <QFile>

bool BandChannel::heldElsewhere() const
{
    return !path.empty() && heldByAnotherProgram(QFile::decodeName(path.c_str()));
}

bool LinkChannel::open()
{
    close();
    link = sb_link_open(devicePath().c_str());
    if (link && traceName == TraceName::None)
        sb_link_set_trace_name(link, nullptr);
    return link != nullptr;
}

void LinkChannel::close()
{
    if (link)
        sb_link_close(link);
    link = nullptr;
}

// An operation on a channel that is not open fails as on a closed port.
bool LinkChannel::getVersion(sb_version_t *version) { return link && sb_link_getVersion(link, version); }
bool LinkChannel::setTime(const sb_time_t *time) { return link && sb_link_setTime(link, time); }
bool LinkChannel::getTime(sb_time_t *time) { return link && sb_link_getTime(link, time); }
bool LinkChannel::setConf(const sb_conf_t *conf) { return link && sb_link_setSBConf(link, conf); }
bool LinkChannel::getConf(sb_conf_t *conf) { return link && sb_link_getSBConf(link, conf); }
bool LinkChannel::setLed(const sb_led_t *led) { return link && sb_link_setLed(link, led); }
bool LinkChannel::getLed(sb_led_t *led) { return link && sb_link_getLed(link, led); }
bool LinkChannel::setAlarms(const sb_alarm_t *alarms) { return link && sb_link_setAlarmClock(link, alarms); }
bool LinkChannel::getAlarms(sb_alarm_t *alarms) { return link && sb_link_getAlarmClock(link, alarms); }
bool LinkChannel::getStat(sb_stat_t *stat) { return link && sb_link_getSBStat(link, stat); }
bool LinkChannel::getDayData(sb_day_data_t *data) { return link && sb_link_getSBDayData(link, data); }
bool LinkChannel::getDayStat(uint8_t day, sb_day_stat_t *stat) { return link && sb_link_getDayStat(link, day, stat); }
bool LinkChannel::reset() { return link && sb_link_reset(link); }
bool LinkChannel::upgrade() { return link && sb_link_upgrade(link); }
bool LinkChannel::startMinStat(const sb_index_t *index) { return link && sb_link_setReceiveMinStat(link, index); }
bool LinkChannel::startUpload() { return link && sb_link_setStartUpdata(link); }
bool LinkChannel::stopUpload() { return link && sb_link_setStopUpdata(link); }

bool LinkChannel::receiveEvent(sb_cmd_t *frame, uint8_t tries)
{
    if (!link || !sb_link_recv_evt(link, frame, tries))
        return false;
    sb_link_dbg_evt(link, frame);
    return true;
}

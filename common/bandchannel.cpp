#include "bandchannel.h"

bool ProcessWideChannel::open()
{
    return port >= 0 && port <= 255 && sb_init(uint8_t(port));
}

void ProcessWideChannel::close()
{
    sb_exit();
}

bool ProcessWideChannel::getVersion(sb_version_t *version) { return sb_getVersion(version); }
bool ProcessWideChannel::setTime(const sb_time_t *time) { return sb_setTime(time); }
bool ProcessWideChannel::getTime(sb_time_t *time) { return sb_getTime(time); }
bool ProcessWideChannel::setConf(const sb_conf_t *conf) { return sb_setSBConf(conf); }
bool ProcessWideChannel::getConf(sb_conf_t *conf) { return sb_getSBConf(conf); }
bool ProcessWideChannel::reset() { return sb_reset(); }
bool ProcessWideChannel::upgrade() { return sb_upgrade(); }

bool LinkChannel::open()
{
    close();
    link = sb_link_open(path.c_str());
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
bool LinkChannel::reset() { return link && sb_link_reset(link); }
bool LinkChannel::upgrade() { return link && sb_link_upgrade(link); }

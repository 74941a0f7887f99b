#include "bandupgrade.h"

#include <bandlink.h>

UpgradeResult upgradeBand(quint8 port)
{
    if (!sb_init(port))
        return UpgradeResult::OpenFailed;
    const bool sent = sb_upgrade();
    sb_exit();
    return sent ? UpgradeResult::Sent : UpgradeResult::NotAnswered;
}

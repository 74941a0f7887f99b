#include "bandupgrade.h"

#include <bandlink.h>

namespace {

// On a port that is open already.
bool readIdentity(BandIdentity *identity)
{
    sb_version_t version{};
    if (!sb_getVersion(&version))
        return false;
    identity->version = QStringLiteral("%1.%2.%3.%4")
                            .arg(version.version[0]).arg(version.version[1])
                            .arg(version.version[2]).arg(version.version[3]);
    identity->bluetooth = QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(version.bdaddr), 6).toHex(':'));
    return true;
}

} // namespace

UpgradeResult upgradeBand(quint8 port, BandIdentity *before)
{
    if (!sb_init(port))
        return UpgradeResult::OpenFailed;
    if (before)
        readIdentity(before); // only to know the band again when it returns
    const bool sent = sb_upgrade();
    sb_exit();
    return sent ? UpgradeResult::Sent : UpgradeResult::NotAnswered;
}

bool readBandIdentity(quint8 port, BandIdentity *identity)
{
    if (!sb_init(port))
        return false;
    const bool read = readIdentity(identity);
    sb_exit();
    return read;
}

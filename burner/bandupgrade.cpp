#include "bandupgrade.h"

#include "bandchannel.h"

namespace {

// On a port that is open already.
bool readIdentity(BandChannel &band, BandIdentity *identity)
{
    sb_version_t version{};
    if (!band.getVersion(&version))
        return false;
    identity->version = QStringLiteral("%1.%2.%3.%4")
                            .arg(version.version[0]).arg(version.version[1])
                            .arg(version.version[2]).arg(version.version[3]);
    identity->bluetooth = QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(version.bdaddr), 6).toHex(':'));
    return true;
}

} // namespace

UpgradeResult upgradeBand(BandChannel &band, BandIdentity *before)
{
    if (!band.open())
        return UpgradeResult::OpenFailed;
    if (before)
        readIdentity(band, before); // only to know the band again when it returns
    const bool sent = band.upgrade();
    band.close();
    return sent ? UpgradeResult::Sent : UpgradeResult::NotAnswered;
}

bool readBandIdentity(BandChannel &band, BandIdentity *identity)
{
    if (!band.open())
        return false;
    const bool read = readIdentity(band, identity);
    band.close();
    return read;
}

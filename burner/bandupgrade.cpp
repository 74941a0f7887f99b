#include "bandupgrade.h"

#include <bandlink.h>

#include <QFile>

#include <memory>

namespace {

bool identityOf(bool answered, const sb_version_t &version, BandIdentity *identity)
{
    if (!answered)
        return false;
    identity->version = QStringLiteral("%1.%2.%3.%4")
                            .arg(version.version[0]).arg(version.version[1])
                            .arg(version.version[2]).arg(version.version[3]);
    identity->bluetooth = QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(version.bdaddr), 6).toHex(':'));
    return true;
}

// On a port that is open already.
bool readIdentity(BandIdentity *identity)
{
    sb_version_t version{};
    return identityOf(sb_getVersion(&version), version, identity);
}

struct LinkCloser {
    void operator()(sb_link *link) const { sb_link_close(link); }
};
using Link = std::unique_ptr<sb_link, LinkCloser>;

Link openLink(const QString &devicePath)
{
    return Link(devicePath.isEmpty() ? nullptr : sb_link_open(QFile::encodeName(devicePath).constData()));
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

UpgradeResult upgradeBandAt(const QString &devicePath, BandIdentity *before)
{
    const Link link = openLink(devicePath);
    if (!link)
        return UpgradeResult::OpenFailed;
    sb_version_t version{};
    if (before)
        identityOf(sb_link_getVersion(link.get(), &version), version, before);
    return sb_link_upgrade(link.get()) ? UpgradeResult::Sent : UpgradeResult::NotAnswered;
}

bool readBandIdentityAt(const QString &devicePath, BandIdentity *identity)
{
    const Link link = openLink(devicePath);
    sb_version_t version{};
    return link && identityOf(sb_link_getVersion(link.get(), &version), version, identity);
}

#include "banddiskwatch.h"

#include "usblocation.h"

#include <QDebug>

namespace {

// The band in upgrade mode, seen as a USB disk.
constexpr quint16 kBandVendorId = 0x0451;
constexpr quint16 kBandDiskProductId = 0x16A8;

bool isBandDisk(quint16 vendorId, quint16 productId)
{
    return vendorId == kBandVendorId && productId == kBandDiskProductId;
}

void traceUsbIds(quint16 vendorId, quint16 productId)
{
    qDebug() << "\tvid is: " << Qt::hex << vendorId;
    qDebug() << "\tpid is: " << Qt::hex << productId;
}

} // namespace

bool isBandVolume(const VolumeInfo &volume)
{
    // Never an operator's USB stick, a local disk or a network share.
    return volume.kind == VolumeInfo::Kind::Local && !volume.rootPath.isEmpty()
           && (!volume.ownerKnown || isBandDisk(volume.ownerVendorId, volume.ownerProductId));
}

BandDiskWatch::BandDiskWatch(HotplugSource *source, QObject *parent) : QObject(parent)
{
    if (!source)
        return;
    connect(source, &HotplugSource::usbDeviceArrived, this, &BandDiskWatch::onUsbDeviceArrived);
    connect(source, &HotplugSource::usbDeviceLeft, this, &BandDiskWatch::onUsbDeviceLeft);
    connect(source, &HotplugSource::volumeMounted, this, &BandDiskWatch::onVolumeMounted);
}

void BandDiskWatch::setBandLocation(const QString &location)
{
    bandLocation = location;
    // A band device seen elsewhere is some other band.
    if (seen && !location.isEmpty() && seenLocation != location) {
        seen = false;
        seenLocation.clear();
    }
}

bool BandDiskWatch::bandSeen() const
{
    return seen;
}

// Whether a band device at location is the band: with the band's place
// given, only a device there; otherwise the first band device seen, where
// either place is unknown everything is taken for it, as before places.
bool BandDiskWatch::isOurs(const QString &location) const
{
    if (!bandLocation.isEmpty())
        return isSameUsbLocation(bandLocation, location);
    return seenLocation.isEmpty() || location.isEmpty() || location == seenLocation;
}

void BandDiskWatch::onUsbDeviceArrived(quint16 vendorId, quint16 productId, const QString &location)
{
    traceUsbIds(vendorId, productId);
    if (!isBandDisk(vendorId, productId) || seen || !isOurs(location))
        return;
    seen = true;
    seenLocation = location;
}

void BandDiskWatch::onUsbDeviceLeft(quint16 vendorId, quint16 productId, const QString &location)
{
    qDebug() << "USB Removal";
    traceUsbIds(vendorId, productId);
    // A neighbour leaving does not take the band's disk with it.
    if (!isBandDisk(vendorId, productId) || !isOurs(location))
        return;
    seen = false;
    seenLocation.clear();
    emit bandRemoved();
}

void BandDiskWatch::onVolumeMounted(const VolumeInfo &volume)
{
    if (!seen || !isBandVolume(volume))
        return;
    // Never a neighbour's disk, and with the band's place known, never one
    // whose place is unknown.
    if (!isOurs(volume.ownerLocation))
        return;
    QString root = volume.rootPath;
    if (!root.endsWith(QLatin1Char('/')))
        root += QLatin1Char('/');
    qDebug() << "\tusb-disk is: " << root;
    emit diskMounted(root);
}

#include "banddiskwatch.h"

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

BandDiskWatch::BandDiskWatch(HotplugSource *source, QObject *parent) : QObject(parent)
{
    if (!source)
        return;
    connect(source, &HotplugSource::usbDeviceArrived, this, &BandDiskWatch::onUsbDeviceArrived);
    connect(source, &HotplugSource::usbDeviceLeft, this, &BandDiskWatch::onUsbDeviceLeft);
    connect(source, &HotplugSource::volumeMounted, this, &BandDiskWatch::onVolumeMounted);
}

bool BandDiskWatch::bandSeen() const
{
    return isBandDisk(bandUsbId[0], bandUsbId[1]);
}

void BandDiskWatch::onUsbDeviceArrived(quint16 vendorId, quint16 productId)
{
    traceUsbIds(vendorId, productId);
    if (isBandDisk(vendorId, productId)) {
        bandUsbId[0] = vendorId;
        bandUsbId[1] = productId;
    }
}

void BandDiskWatch::onUsbDeviceLeft(quint16 vendorId, quint16 productId)
{
    qDebug() << "USB Removal";
    traceUsbIds(vendorId, productId);
    if (!isBandDisk(vendorId, productId))
        return;
    bandUsbId[0] = 0;
    bandUsbId[1] = 0;
    emit bandRemoved();
}

void BandDiskWatch::onVolumeMounted(const VolumeInfo &volume)
{
    if (volume.kind != VolumeInfo::Kind::Local || !bandSeen() || volume.rootPath.isEmpty())
        return;
    // Only the band's own disk: never an operator's USB stick or a local disk.
    if (volume.ownerKnown && !isBandDisk(volume.ownerVendorId, volume.ownerProductId))
        return;
    QString root = volume.rootPath;
    if (!root.endsWith(QLatin1Char('/')))
        root += QLatin1Char('/');
    qDebug() << "\tusb-disk is: " << root;
    emit diskMounted(root);
}

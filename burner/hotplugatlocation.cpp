#include "hotplugatlocation.h"

#include "usbplace.h"

HotplugAtLocation::HotplugAtLocation(HotplugSource *source, const QString &location, QObject *parent)
    : HotplugSource(parent), location(location)
{
    connect(source, &HotplugSource::usbDeviceArrived, this,
            [this](quint16 vendorId, quint16 productId, const QString &where) {
                if (sameUsbLocation(this->location, where))
                    emit usbDeviceArrived(vendorId, productId, where);
            });
    connect(source, &HotplugSource::usbDeviceLeft, this,
            [this](quint16 vendorId, quint16 productId, const QString &where) {
                if (sameUsbLocation(this->location, where))
                    emit usbDeviceLeft(vendorId, productId, where);
            });
    connect(source, &HotplugSource::volumeMounted, this, [this](const VolumeInfo &volume) {
        if (sameUsbLocation(this->location, volume.ownerLocation))
            emit volumeMounted(volume);
    });
}

#include "hotplugatlocation.h"

#include "usblocation.h"

HotplugAtLocation::HotplugAtLocation(HotplugSource *source, const QString &location, QObject *parent)
    : HotplugSource(parent), location(location)
{
    connect(source, &HotplugSource::usbDeviceArrived, this,
            [this](quint16 vendorId, quint16 productId, const QString &where) {
                if (isSameUsbLocation(this->location, where))
                    emit usbDeviceArrived(vendorId, productId, where);
            });
    connect(source, &HotplugSource::usbDeviceLeft, this,
            [this](quint16 vendorId, quint16 productId, const QString &where) {
                if (isSameUsbLocation(this->location, where))
                    emit usbDeviceLeft(vendorId, productId, where);
            });
    connect(source, &HotplugSource::volumeMounted, this, [this](const VolumeInfo &volume) {
        if (isSameUsbLocation(this->location, volume.ownerLocation))
            emit volumeMounted(volume);
    });
}

#include "hotplugatlocation.h"

#include "usblocation.h"

namespace {

// An empty place (one band, place unknown) lets everything through: the
// band's disk watch judges then.
bool passes(const QString &place, const QString &where)
{
    return place.isEmpty() || isSameUsbLocation(place, where);
}

} // namespace

HotplugAtLocation::HotplugAtLocation(HotplugSource *source, const QString &location, QObject *parent)
    : HotplugSource(parent), location(location)
{
    connect(source, &HotplugSource::usbDeviceArrived, this,
            [this](quint16 vendorId, quint16 productId, const QString &where) {
                if (passes(this->location, where))
                    emit usbDeviceArrived(vendorId, productId, where);
            });
    connect(source, &HotplugSource::usbDeviceLeft, this,
            [this](quint16 vendorId, quint16 productId, const QString &where) {
                if (passes(this->location, where))
                    emit usbDeviceLeft(vendorId, productId, where);
            });
    connect(source, &HotplugSource::volumeMounted, this, [this](const VolumeInfo &volume) {
        if (passes(this->location, volume.ownerLocation))
            emit volumeMounted(volume);
    });
}

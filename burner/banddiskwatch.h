// The band's disk as the hot-plug events show it: the band's USB device in
// upgrade mode arrives, then a local volume on it is mounted. Other devices
// and volumes (an operator's USB stick, a network share) are never taken.
#pragma once

#include "hotplugsource.h"

#include <QObject>
#include <QString>

class BandDiskWatch : public QObject {
    Q_OBJECT
public:
    // The source must outlive the watch; it is not started here.
    explicit BandDiskWatch(HotplugSource *source, QObject *parent = nullptr);

    // Whether the band's USB device has arrived and not left since.
    bool bandSeen() const;

signals:
    // A volume of the band was mounted at root (ending in '/').
    void diskMounted(const QString &root);
    // The band's USB device left: its disk is gone.
    void bandRemoved();

private slots:
    void onUsbDeviceArrived(quint16 vendorId, quint16 productId);
    void onUsbDeviceLeft(quint16 vendorId, quint16 productId);
    void onVolumeMounted(const VolumeInfo &volume);

private:
    quint16 bandUsbId[2] = {0, 0}; // vendor id, product id; 0/0 = not seen
};

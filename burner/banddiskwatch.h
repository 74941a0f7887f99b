// The band's disk as the hot-plug events show it: the band's USB device in
// upgrade mode arrives, then a local volume on it is mounted. Other devices
// and volumes (an operator's USB stick, a network share, another band's
// disk) are never taken.
#pragma once

#include "hotplugsource.h"

#include <QObject>
#include <QString>

// Whether a volume can be a band's disk by what it is: a local volume whose
// USB device, where the system tells it, is a band in upgrade mode. Where it
// is plugged in is for the caller to judge.
bool isBandVolume(const VolumeInfo &volume);

class BandDiskWatch : public QObject {
    Q_OBJECT
public:
    // The source must outlive the watch; it is not started here.
    explicit BandDiskWatch(HotplugSource *source, QObject *parent = nullptr);

    // Where the band was plugged in when it was sent into upgrade mode: it
    // comes back as a disk in the same place, so from now on only a disk
    // there is taken, and a disk whose place is unknown is not. Empty when
    // the band's place is unknown (a virtual band): then the first band
    // device to arrive is the band, and another band's disk is still refused.
    void setBandLocation(const QString &location);

    // Whether the band's USB device has arrived and not left since.
    bool bandSeen() const;

signals:
    // A volume of the band was mounted at root (ending in '/').
    void diskMounted(const QString &root);
    // The band's USB device left: its disk is gone.
    void bandRemoved();

private slots:
    void onUsbDeviceArrived(quint16 vendorId, quint16 productId, const QString &location);
    void onUsbDeviceLeft(quint16 vendorId, quint16 productId, const QString &location);
    void onVolumeMounted(const VolumeInfo &volume);

private:
    bool isOurs(const QString &location) const;

    QString bandLocation;  // given; empty when unknown
    bool seen = false;     // the band's device in upgrade mode is here
    QString seenLocation;  // where it arrived; empty when unknown
};

// The burner's view of the platform's hot-plug events: a USB device came or
// went, and a new volume was mounted.
#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>

struct VolumeInfo {
    enum class Kind { Local, Media, Network };

    QString rootPath;      // the mount point, ending in '/'
    Kind kind = Kind::Local;
    // Whether the platform could tell which USB device the volume is on; the
    // ids are then that device's, or 0/0 when it is on none (an internal
    // disk, a memory filesystem). Only a volume of unknown owner or on the
    // band's own device may be taken as the band's disk.
    bool ownerKnown = false;
    quint16 ownerVendorId = 0;
    quint16 ownerProductId = 0;
    // Where that USB device is plugged in (see usblocation.h) and its serial
    // number; empty when unknown. (Given an initialiser so that
    // brace lists naming only the fields before them stay valid.)
    QString ownerLocation = {};
    QString ownerSerial = {};
};
Q_DECLARE_METATYPE(VolumeInfo)

class HotplugSource : public QObject {
    Q_OBJECT
public:
    explicit HotplugSource(QObject *parent = nullptr) : QObject(parent)
    {
        // Volumes travel in queued signals too.
        qRegisterMetaType<VolumeInfo>();
    }
    // Starts watching; false when the platform refuses the registration.
    virtual bool start() = 0;

signals:
    // location: where the device is plugged in; empty when the source can't tell.
    void usbDeviceArrived(quint16 vendorId, quint16 productId, const QString &location = QString());
    void usbDeviceLeft(quint16 vendorId, quint16 productId, const QString &location = QString());
    void volumeMounted(const VolumeInfo &volume);
};

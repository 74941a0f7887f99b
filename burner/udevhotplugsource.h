// Hot-plug events on Linux: USB devices from a udev monitor, new mounts from
// the kernel's mount table.
#pragma once

#include "hotplugsource.h"
#include "mountinfo.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

class QSocketNotifier;
struct udev;
struct udev_monitor;
struct udev_device;

class UdevHotplugSource : public HotplugSource {
    Q_OBJECT
public:
    // mountInfoPath: the kernel's mount table; tests give a file of their own.
    explicit UdevHotplugSource(QObject *parent = nullptr,
                               const QString &mountInfoPath = QStringLiteral("/proc/self/mountinfo"));
    ~UdevHotplugSource() override;

    bool start() override;
    // Reads the mount table now and reports the new mounts; the kernel's
    // notice of a change calls it (a plain file gives none).
    void rescanMounts();

private:
    struct UsbIds {
        quint16 vendorId = 0;
        quint16 productId = 0;
    };

    bool openUsbMonitor();
    bool openMountWatch();
    void closeAll();
    void onUsbEvent();
    bool readMountTable(QList<MountEntry> *entries) const;
    VolumeInfo describe(const MountEntry &entry) const;
    void findUsbOwner(const MountEntry &entry, VolumeInfo *volume) const;

    QString mountInfoPath;
    udev *context = nullptr;
    udev_monitor *monitor = nullptr;
    QSocketNotifier *usbNotifier = nullptr;
    int mountInfoFd = -1;
    QSocketNotifier *mountNotifier = nullptr;
    QList<MountEntry> mounts;
    // A removed device may no longer show its ids, so they are kept from
    // its arrival.
    QHash<QByteArray, UsbIds> idsByDevpath;
};

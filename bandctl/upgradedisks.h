// Bands in upgrade mode: USB devices 0451:16A8, with their disks and where
// those are mounted.
#pragma once

#include <QList>
#include <QString>

struct UpgradeDisk {
    QString usbLocation;  // where the band is plugged in, e.g. "1-1.4.2"
    QString serialNumber; // the USB device's; empty when it has none
    QString blockDevice;  // e.g. /dev/sdb1; empty while the disk is not there yet
    QString mountPoint;   // empty while not mounted
};

// mountInfoPath: the kernel's mount table; tests give a file of their own.
QList<UpgradeDisk> upgradeDisks(const QString &mountInfoPath = QStringLiteral("/proc/self/mountinfo"));

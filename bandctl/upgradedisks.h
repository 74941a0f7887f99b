// Bands in upgrade mode: USB devices 0451:16A8, with their disks and where
// those are mounted.
#pragma once

#include <QList>
#include <QString>

struct UpgradeDisk {
    QString usbPath;     // the USB device's sysfs path
    QString blockDevice; // e.g. /dev/sdb1; empty while the disk is not there yet
    QString mountPoint;  // empty while not mounted
};

QList<UpgradeDisk> upgradeDisks();

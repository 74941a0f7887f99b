// Which USB device a volume lives on, by walking the system's device tree
// up from the volume's disk: the first USB device on the way is the owner.
#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

// Device instance ids as Windows writes them, e.g. "USBSTOR\DISK&VEN_...\1"
// whose parent is "USB\VID_0451&PID_16A8\0123". parentOf gives an empty
// string at the top of the tree. Writes the owner's ids (and its instance
// id, if asked) and returns true when a USB device is found; 0/0 and false
// when the disk is on none.
bool usbOwnerOf(const QString &diskInstanceId,
                const std::function<QString(const QString &)> &parentOf, quint16 ids[2],
                QString *ownerId = nullptr);

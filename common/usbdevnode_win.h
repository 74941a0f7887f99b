// The system's device tree on Windows, as far as the station needs it: a USB
// device's place, read from its device node by instance id
// (e.g. "USB\VID_0451&PID_16A8\0123").
#pragma once

#include <QString>

// The device's USB location (see usblocation.h); empty when the node is not
// present or not under a USB port.
QString usbLocationOfInstance(const QString &instanceId);

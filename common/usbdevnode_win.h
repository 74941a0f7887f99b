// The system's device tree on Windows, as far as the station needs it: a
// node's instance id, and a USB device's place read from its node.
#pragma once

#include <QString>

#include <windows.h>
// After windows.h:
#include <cfgmgr32.h>

// The instance id of a device node, e.g. "USB\VID_0451&PID_16A8\0123";
// empty when it cannot be read.
QString instanceIdOf(DEVINST node);

// The device's USB location (see usblocation.h); empty when the node is not
// present or not under a USB port.
QString usbLocationOfInstance(const QString &instanceId);

// The two questions about where a band is plugged in that several bands at
// once depend on, kept in one place so that the system's answer is easy to
// change.
#pragma once

#include <QString>

// Whether a device at `location` sits where the band at `bandLocation` sits:
// only when both are known and the same, so a device whose location is
// unknown is never taken for any band.
bool sameUsbLocation(const QString &bandLocation, const QString &location);

// Where the serial device at devicePath is plugged in; empty when the system
// does not say.
QString usbLocationOfDevice(const QString &devicePath);

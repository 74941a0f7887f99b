// Parsing that is the same on every platform.
#pragma once

#include <QString>
#include <QtGlobal>

// Vendor and product identifiers from a device path such as
// "\\?\USB#VID_0451&PID_16A8#...". Writes 0/0 and returns false when the
// path holds no valid pair.
bool parseUsbIds(const QString &devicePath, quint16 ids[2]);

// Vendor and product identifiers from the PRODUCT value that the kernel
// gives a USB device, such as "451/16a8/100". Writes 0/0 and returns false
// when the value holds no valid pair. Traces nothing.
bool parseUsbProductValue(const QString &value, quint16 ids[2]);

// Drive letter of the lowest of the 26 drive bits of a unit mask (bit 0 is
// A); 0 when none of them is set.
char lowestDriveLetter(quint32 unitMask);

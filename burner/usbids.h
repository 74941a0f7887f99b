// Parsing that is the same on every platform.
#pragma once

#include <QString>
#include <QtGlobal>

// Vendor and product identifiers from a device path such as
// "\\?\USB#VID_0451&PID_16A8#...". Writes 0/0 and returns false when the
// path holds no valid pair.
bool parseUsbIds(const QString &devicePath, quint16 ids[2]);

// Drive letter of the lowest of the 26 drive bits of a unit mask (bit 0 is
// A); 0 when none of them is set.
char lowestDriveLetter(quint32 unitMask);

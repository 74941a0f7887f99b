// Where a band is plugged in: its USB location, the chain of hub ports from
// the host controller as the system names it (e.g. "1-1.4.2" on Linux). A
// band keeps it when it restarts as a disk in the same port, so it is what
// ties a disk to its band. An empty location means the system did not say.
#pragma once

#include <QString>

// Windows names a device's place by its location path, e.g.
// "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB(4)#USB(2)" (a composite
// device's interface adds "#USBMI(0)"). Gives the same chain in the form
// used here, the controller's PCI address and then the hub ports:
// "1400-1.4.2". Empty for a path that leads to no USB port.
QString usbLocationFromLocationPath(const QString &locationPath);

// Whether a device at `location` is the band at `bandLocation`: only when
// both are known and the same.
bool isSameUsbLocation(const QString &bandLocation, const QString &location);


#include "usbplace.h"

bool sameUsbLocation(const QString &bandLocation, const QString &location)
{
    return !bandLocation.isEmpty() && bandLocation == location;
}

QString usbLocationOfDevice(const QString & /*devicePath*/)
{
    return QString(); // no system backend for locations yet
}

#include "ttyusbplace.h"

// This platform's port list does not tell where a port is plugged in yet.
UsbPlace usbPlaceOfTty(const QString &)
{
    return {};
}

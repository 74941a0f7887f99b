#include "ttyusbplace.h"

#include <QFile>

#include <libudev.h>

UsbPlace usbPlaceOfTty(const QString &portName)
{
    UsbPlace place;
    udev *context = udev_new();
    if (!context)
        return place;
    udev_device *tty = udev_device_new_from_subsystem_sysname(context, "tty", QFile::encodeName(portName).constData());
    // The parent belongs to the child and goes with it. The usb_device, not
    // its interface: the interface's name adds ":config.interface", which
    // differs between the band's serial and disk modes.
    if (udev_device *usb = tty ? udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device") : nullptr) {
        place.location = QString::fromLatin1(udev_device_get_sysname(usb));
        if (const char *serial = udev_device_get_sysattr_value(usb, "serial"))
            place.serialNumber = QString::fromLatin1(serial).trimmed();
    }
    if (tty)
        udev_device_unref(tty);
    udev_unref(context);
    return place;
}

#include "udevusbplace.h"

#include <QFile>

#include <libudev.h>

UsbPlace usbPlaceOfUsbDevice(udev_device *usbDevice)
{
    UsbPlace place;
    if (const char *name = udev_device_get_sysname(usbDevice))
        place.location = QString::fromLatin1(name);
    if (const char *serial = udev_device_get_sysattr_value(usbDevice, "serial"))
        place.serialNumber = QString::fromLatin1(serial).trimmed();
    return place;
}

UsbPlace usbPlaceOfTty(const QString &portName)
{
    UsbPlace place;
    udev *context = udev_new();
    if (!context)
        return place;
    udev_device *tty = udev_device_new_from_subsystem_sysname(context, "tty", QFile::encodeName(portName).constData());
    // The parent belongs to the child and goes with it.
    if (udev_device *usb = tty ? udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device") : nullptr)
        place = usbPlaceOfUsbDevice(usb);
    if (tty)
        udev_device_unref(tty);
    udev_unref(context);
    return place;
}

// Linux only: the place of a USB device that udev knows.
#pragma once

#include "ttyusbplace.h"

struct udev_device;

// The kernel's name of a usb_device is its location: the bus, then the hub
// ports ("1-1.4.2"). Its interfaces add ":config.interface", which differs
// between the band's modes, so usbDevice must be the usb_device itself.
UsbPlace usbPlaceOfUsbDevice(udev_device *usbDevice);

// The USB device behind a serial port, as the system reports it. The port
// list of Qt gives the ids and the serial number, not the location.
#pragma once

#include <QString>

struct UsbPlace {
    QString location;     // e.g. "1-1.4.2"; empty when unknown
    QString serialNumber; // empty when the device has none
};

// The USB device that owns the serial port `portName` (e.g. "ttyACM0");
// empty fields where the port is on no USB device or the platform can't tell.
UsbPlace usbPlaceOfTty(const QString &portName);

// Which serial ports are the band's, and their port numbers.
#pragma once

#include "portsource.h"

#include <QList>

struct BandPort {
    qint32 number = 0;     // the digits after the port name's prefix
    SerialPortEntry entry;
};

// Every entry with the band's USB identity and a port name that carries the
// platform's prefix, in list order. A prefix followed by anything but plain
// digits gives port 0, which no band answers on.
QList<BandPort> bandPortsIn(const QList<SerialPortEntry> &ports);

// The port name of port n on this platform: "ttyACMn", or "COMn" on Windows.
QString bandPortName(qint32 number);
// The number in a port name with the platform's prefix ("ttyACM3" gives 3);
// -1 without the prefix, 0 when anything but plain digits follows it.
qint32 portNumberOf(const QString &portName);

// The port number of the first band port, or -1. Like the watcher, it stops
// at the first entry with the band's identity even when its name does not fit.
qint32 firstBandPort(const QList<SerialPortEntry> &ports);
// That first entry with the band's identity; an empty entry when none has it.
SerialPortEntry firstBandEntry(const QList<SerialPortEntry> &ports);

// Where the port watcher gets its list of serial ports from.
#pragma once

#include <QList>
#include <QString>

struct SerialPortEntry {
    QString portName;      // e.g. "ttyACM3"
    bool hasUsbIds = false;
    quint16 vendorId = 0;
    quint16 productId = 0;
};

// Called from the watcher's thread; implementations must be thread-safe.
class PortSource {
public:
    virtual ~PortSource() = default;
    virtual QList<SerialPortEntry> availablePorts() const = 0;
};

// The ports the system has, from QSerialPortInfo.
class SystemPortSource : public PortSource {
public:
    QList<SerialPortEntry> availablePorts() const override;
};

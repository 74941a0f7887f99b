// Where the port watcher gets its list of serial ports from.
#pragma once

#include <QList>
#include <QString>

#include <functional>

class QObject;

struct SerialPortEntry {
    QString portName;      // e.g. "ttyACM3"
    bool hasUsbIds = false;
    quint16 vendorId = 0;
    quint16 productId = 0;
    // Where the port's USB device is plugged in (see usblocation.h) and its
    // serial number; empty when unknown or absent. (Given an initialiser so that
    // brace lists naming only the fields before them stay valid.)
    QString usbLocation = {};
    QString serialNumber = {};
};

// The path that opens a system port by its name: "/dev/ttyACM3", or
// "\\.\COM3" on Windows.
inline QString serialDevicePath(const QString &portName)
{
#ifdef Q_OS_WIN
    return QStringLiteral("\\\\.\\") + portName;
#else
    return QStringLiteral("/dev/") + portName;
#endif
}

// Called from the watcher's thread; implementations must be thread-safe.
class PortSource {
public:
    virtual ~PortSource() = default;
    virtual QList<SerialPortEntry> availablePorts() const = 0;

    // Calls `changed` whenever the list may have changed, for as long as
    // `context` lives, so that a watcher need not wait for its next poll.
    // `changed` must be safe to call from any thread. A source that can't
    // tell does nothing here.
    virtual void watchChanges(QObject * /*context*/, const std::function<void()> & /*changed*/) const {}

    // The path that opens the entry's port with sb_link_open.
    virtual QString devicePath(const SerialPortEntry &entry) const { return serialDevicePath(entry.portName); }
};

// The ports the system has, from QSerialPortInfo.
class SystemPortSource : public PortSource {
public:
    QList<SerialPortEntry> availablePorts() const override;
    // Through the system's device notices, where it has them.
    void watchChanges(QObject *context, const std::function<void()> &changed) const override;
};

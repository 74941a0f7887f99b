#include "portsource.h"

#include "ttymonitor.h"
#include "ttyusbplace.h"

#include <QSerialPortInfo>

QList<SerialPortEntry> SystemPortSource::availablePorts() const
{
    QList<SerialPortEntry> entries;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports) {
        SerialPortEntry entry;
        entry.portName = info.portName();
        entry.hasUsbIds = info.hasVendorIdentifier() && info.hasProductIdentifier();
        entry.vendorId = info.vendorIdentifier();
        entry.productId = info.productIdentifier();
        // Only USB ports have a place; the lookup is skipped for the rest.
        if (entry.hasUsbIds) {
            const UsbPlace place = usbPlaceOfTty(entry.portName);
            entry.usbLocation = place.location;
            entry.serialNumber = place.serialNumber.isEmpty() ? info.serialNumber() : place.serialNumber;
        }
        entries.append(entry);
    }
    return entries;
}

void SystemPortSource::watchChanges(QObject *context, const std::function<void()> &changed) const
{
    if (TtyMonitor *monitor = TtyMonitor::create(context))
        QObject::connect(monitor, &TtyMonitor::changed, context, changed);
}

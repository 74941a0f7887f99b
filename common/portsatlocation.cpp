#include "portsatlocation.h"

#include "usblocation.h"

QList<SerialPortEntry> PortsAtLocation::availablePorts() const
{
    QList<SerialPortEntry> here;
    for (const SerialPortEntry &entry : source.availablePorts()) {
        if (isSameUsbLocation(location, entry.usbLocation))
            here.append(entry);
    }
    return here;
}

void PortsAtLocation::watchChanges(QObject *context, const std::function<void()> &changed) const
{
    source.watchChanges(context, changed);
}

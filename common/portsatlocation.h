// The ports of one USB location only: with several bands plugged in, the
// port watcher of one band's cycle must see that band's port and no other.
#pragma once

#include "portsource.h"

class PortsAtLocation : public PortSource {
public:
    // source must outlive this one; an empty location shows no port at all.
    PortsAtLocation(const PortSource &source, const QString &location) : source(source), location(location) {}

    QList<SerialPortEntry> availablePorts() const override;
    void watchChanges(QObject *context, const std::function<void()> &changed) const override;
    QString devicePath(const SerialPortEntry &entry) const override { return source.devicePath(entry); }

private:
    const PortSource &source;
    const QString location;
};

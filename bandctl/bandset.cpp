#include "bandset.h"

#include "bandports.h"
#include "exitcodes.h"
#include "output.h"
#include "simulatedhub.h"
#include "usbplace.h"

#include <bandsim/virtualband.h>

#include <QFileInfo>

QString AttachedBand::label() const
{
    return usbPath.isEmpty() ? device : usbPath + u' ' + device;
}

BandSet::BandSet() = default;
BandSet::~BandSet() = default;

int BandSet::find(const BandChoice &choice, Output &out, const QString &command)
{
    switch (choice.kind) {
    case BandChoice::Kind::Port:
        return out.fail(ExitUsage, QStringLiteral("%1 --all takes the bands it finds, or every --device given").arg(command));
    case BandChoice::Kind::Device:
        for (const QString &device : choice.devices) {
            // The same band twice would fail its second run on a port in use.
            if (choice.devices.count(device) > 1)
                return out.fail(ExitUsage, QStringLiteral("--device %1 given twice").arg(device));
            const QString name = QFileInfo(device).fileName();
            const bool acm = name.startsWith(QLatin1StringView("ttyACM"));
            found.append({device, usbLocationOfDevice(device), acm ? name.mid(6).toInt() : -1});
        }
        break;
    case BandChoice::Kind::Simulate:
        hub = std::make_unique<SimulatedHub>(choice.simulated);
        if (!hub->plugIn())
            return out.fail(ExitNoBand, QStringLiteral("cannot start a virtual band (no pseudo-terminal to be had)"));
        for (SimulatedBand *band : hub->bands())
            found.append({QString::fromStdString(band->band().devicePath()), band->usbLocation(), band->port()});
        break;
    case BandChoice::Kind::Found:
        for (const BandPort &band : bandPortsIn(system.availablePorts()))
            found.append({QStringLiteral("/dev/") + band.entry.portName, band.entry.usbLocation, band.number});
        break;
    }
    if (found.isEmpty())
        return out.fail(ExitNoBand, QStringLiteral("no band found to %1").arg(command));
    return ExitOk;
}

const PortSource &BandSet::ports() const
{
    if (hub)
        return *hub;
    return system;
}

QString BandSet::deviceOfPort(int port) const
{
    if (hub)
        return hub->devicePathOfPort(port);
    return QStringLiteral("/dev/ttyACM%1").arg(port);
}

#include "bandset.h"

#include "bandports.h"
#include "devicecheck.h"
#include "exitcodes.h"
#include "output.h"
#include "simulatedhub.h"
#include "ttyusbplace.h"

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
        return out.fail(ExitUsage, QStringLiteral("%1 --all takes the bands it finds, or every --device or --usb-path given").arg(command));
    case BandChoice::Kind::Device:
        for (const QString &device : choice.devices) {
            // The same band twice would fail its second run on a port in use.
            if (choice.devices.count(device) > 1)
                return out.fail(ExitUsage, QStringLiteral("--device %1 given twice").arg(device));
            // Refused before any band runs: no run, no record for a wrong path.
            if (const auto problem = unusableDevice(device))
                return out.fail(problem->code, problem->message);
            // A /dev/serial/by-id link leads to the port itself.
            const QString canonical = QFileInfo(device).canonicalFilePath();
            const QString name = QFileInfo(canonical.isEmpty() ? device : canonical).fileName();
            found.append({device, usbPlaceOfTty(name).location, portNumberOf(name)});
        }
        break;
    case BandChoice::Kind::Simulate:
    case BandChoice::Kind::Found:
    case BandChoice::Kind::UsbPath: {
        for (const QString &location : choice.usbPaths) {
            if (choice.usbPaths.count(location) > 1)
                return out.fail(ExitUsage, QStringLiteral("--usb-path %1 given twice").arg(location));
        }
        if (choice.kind == BandChoice::Kind::Simulate) {
            hub = std::make_unique<SimulatedHub>(choice.simulated);
            if (!hub->plugIn())
                return out.fail(ExitNoBand, QStringLiteral("cannot start a virtual band (no pseudo-terminal to be had)"));
        }
        const PortSource &source = ports();
        for (const BandPort &band : bandPortsIn(source.availablePorts())) {
            if (!choice.usbPaths.isEmpty() && !choice.usbPaths.contains(band.entry.usbLocation))
                continue;
            found.append({source.devicePath(band.entry), band.entry.usbLocation, band.number});
        }
        if (!choice.usbPaths.isEmpty() && found.size() != choice.usbPaths.size())
            return out.fail(ExitNoBand, QStringLiteral("not every --usb-path given has a band on a serial port (bandctl list shows where the bands are)"));
        break;
    }
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
    return serialDevicePath(bandPortName(port));
}

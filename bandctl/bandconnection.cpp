#include "bandconnection.h"

#include "bandchannel.h"
#include "bandports.h"
#include "devicecheck.h"
#include "output.h"
#include "portsource.h"
#include "simulatedband.h"
#include "ttyusbplace.h"
#include "usblocation.h"

#include <bandlink.h>
#include <bandsim/virtualband.h>

#include <QFileInfo>
#include <QStringList>

#include <algorithm>

namespace {

// The number a --device path goes by where a port number is said.
constexpr quint8 kDevicePort = 201;

} // namespace

BandConnection::BandConnection(const BandChoice &choice) : choice(choice)
{
}

BandConnection::~BandConnection()
{
    link.reset();
}

int BandConnection::locate(Output &out)
{
    if (located)
        return ExitOk;
    switch (choice.kind) {
    case BandChoice::Kind::Simulate: {
        const int slot = simulatedSlot(out);
        if (slot < 0)
            return slot == kNoSlot ? int(ExitNoBand) : int(ExitUsage);
        // Only the chosen band of the hub is needed, in its own place.
        simulatedBand = std::make_unique<SimulatedBand>(nullptr, false, slot);
        if (!simulatedBand->plugIn())
            return out.fail(ExitNoBand, QStringLiteral("cannot start a virtual band (no pseudo-terminal to be had)"));
        portNumber = simulatedBand->port();
        device = QString::fromStdString(simulatedBand->band().devicePath());
        location = simulatedBand->usbLocation();
        break;
    }
    case BandChoice::Kind::Device:
        if (choice.devices.size() != 1)
            return out.fail(ExitUsage, QStringLiteral("name one --device here (several are for test --all)"));
        device = choice.devices.first();
        if (const auto problem = unusableDevice(device))
            return out.fail(problem->code, problem->message);
        portNumber = kDevicePort;
        break;
    case BandChoice::Kind::Port:
        portNumber = quint8(choice.port);
        device = serialDevicePath(bandPortName(choice.port));
        if (!deviceExists(device))
            return out.fail(ExitNoBand, QStringLiteral("no band on port %1: %2 does not exist").arg(choice.port).arg(device));
        location = usbPlaceOfTty(QFileInfo(device).fileName()).location;
        break;
    case BandChoice::Kind::UsbPath: {
        if (choice.usbPaths.size() != 1)
            return out.fail(ExitUsage, QStringLiteral("name one --usb-path here (several are for test --all)"));
        const QString wanted = choice.usbPaths.first();
        const QList<BandPort> bands = bandPortsIn(SystemPortSource().availablePorts());
        const auto at = std::find_if(bands.begin(), bands.end(),
                                     [&](const BandPort &band) { return isSameUsbLocation(wanted, band.entry.usbLocation); });
        if (at == bands.end())
            return out.fail(ExitNoBand, QStringLiteral("no band on a serial port at USB location %1 (bandctl list shows where the bands are)").arg(wanted));
        portNumber = quint8(at->number);
        device = serialDevicePath(bandPortName(at->number));
        location = wanted;
        break;
    }
    case BandChoice::Kind::Found: {
        const QList<BandPort> bands = bandPortsIn(SystemPortSource().availablePorts());
        if (bands.isEmpty())
            return out.fail(ExitNoBand, QStringLiteral("no band found: plug one in, or name it with --port, --device or --simulate"));
        if (bands.size() > 1) {
            QStringList names;
            for (const BandPort &band : bands)
                names.append(band.entry.usbLocation.isEmpty() ? band.entry.portName
                                                              : band.entry.portName + QStringLiteral(" at ") + band.entry.usbLocation);
            return out.fail(ExitNoBand, QStringLiteral("%1 bands found (%2): choose one with --port N or --usb-path LOCATION")
                                            .arg(bands.size()).arg(names.join(QStringLiteral(", "))));
        }
        portNumber = quint8(bands.first().number);
        device = serialDevicePath(bandPortName(bands.first().number));
        location = bands.first().entry.usbLocation;
        break;
    }
    }
    located = true;
    return ExitOk;
}

int BandConnection::simulatedSlot(Output &out) const
{
    if (choice.usbPaths.isEmpty()) {
        if (choice.simulated == 1)
            return 0;
        out.fail(ExitNoBand, QStringLiteral("%1 simulated bands: this command takes one (name it with --usb-path; "
                                            "several are for list, test --all and burn --all)").arg(choice.simulated));
        return kNoSlot;
    }
    if (choice.usbPaths.size() != 1) {
        out.fail(ExitUsage, QStringLiteral("name one --usb-path here (several are for test --all)"));
        return kBadUsage;
    }
    for (int slot = 0; slot < choice.simulated; ++slot) {
        if (isSameUsbLocation(choice.usbPaths.first(), SimulatedBand::usbLocationOfSlot(slot)))
            return slot;
    }
    out.fail(ExitNoBand, QStringLiteral("no simulated band at USB location %1 (the %2 sit at 1-1.1 to 1-1.%2)")
                             .arg(choice.usbPaths.first()).arg(choice.simulated));
    return kNoSlot;
}

int BandConnection::open(Output &out)
{
    if (const int code = locate(out); code != ExitOk)
        return code;
    // One band per run: its trace reads as it always has, without a line
    // naming the band.
    link = std::make_unique<LinkChannel>(QFile::encodeName(device).toStdString(), LinkChannel::TraceName::None);
    if (!link->open()) {
        link.reset();
        if (isGone())
            return out.fail(ExitNoBand, QStringLiteral("no band: %1 went away").arg(device));
        const DeviceProblem problem = whyNotOpened(device);
        return out.fail(problem.code, problem.message);
    }
    return ExitOk;
}

BandChannel &BandConnection::channel() const
{
    return *link;
}

int BandConnection::failed(Output &out, const QString &what) const
{
    if (isGone())
        return out.fail(ExitBandFailed, QStringLiteral("the band went away (%1 is gone) during: %2").arg(device, what));
    return out.fail(ExitBandFailed, QStringLiteral("the band did not answer properly: %1").arg(what));
}

bool BandConnection::isGone() const
{
    return !device.isEmpty() && !deviceExists(device);
}

#include "bandconnection.h"

#include "bandports.h"
#include "output.h"
#include "portsource.h"
#include "simulatedband.h"

#include <bandlink.h>
#include <bandsim/virtualband.h>

#include <QFileInfo>
#include <QStringList>

namespace {

// The port number bandlink opens a --device path through.
constexpr quint8 kDevicePort = 201;

QString ttyPath(int port)
{
    return QStringLiteral("/dev/ttyACM%1").arg(port);
}

} // namespace

BandConnection::BandConnection(const BandChoice &choice) : choice(choice)
{
}

BandConnection::~BandConnection()
{
    if (linkOpen)
        sb_exit();
    if (choice.kind == BandChoice::Kind::Device)
        uart_bind_device_path(kDevicePort, nullptr);
}

int BandConnection::locate(Output &out)
{
    if (located)
        return ExitOk;
    switch (choice.kind) {
    case BandChoice::Kind::Simulate:
        if (choice.simulated > 1)
            return out.fail(ExitNoBand, QStringLiteral("%1 simulated bands: this command takes one (several are for list, test --all and burn --all)")
                                            .arg(choice.simulated));
        simulatedBand = std::make_unique<SimulatedBand>();
        if (!simulatedBand->plugIn())
            return out.fail(ExitNoBand, QStringLiteral("cannot start a virtual band (no pseudo-terminal to be had)"));
        portNumber = SimulatedBand::kPort;
        device = QString::fromStdString(simulatedBand->band().devicePath());
        break;
    case BandChoice::Kind::Device:
        if (choice.devices.size() != 1)
            return out.fail(ExitUsage, QStringLiteral("name one --device here (several are for test --all)"));
        device = choice.devices.first();
        if (!QFileInfo::exists(device))
            return out.fail(ExitNoBand, QStringLiteral("no band: %1 does not exist").arg(device));
        if (!uart_bind_device_path(kDevicePort, QFile::encodeName(device).constData()))
            return out.fail(ExitUsage, QStringLiteral("device path too long: %1").arg(device));
        portNumber = kDevicePort;
        break;
    case BandChoice::Kind::Port:
        portNumber = quint8(choice.port);
        device = ttyPath(choice.port);
        if (!QFileInfo::exists(device))
            return out.fail(ExitNoBand, QStringLiteral("no band on port %1: %2 does not exist").arg(choice.port).arg(device));
        break;
    case BandChoice::Kind::Found: {
        const QList<BandPort> bands = bandPortsIn(SystemPortSource().availablePorts());
        if (bands.isEmpty())
            return out.fail(ExitNoBand, QStringLiteral("no band found: plug one in, or name it with --port, --device or --simulate"));
        if (bands.size() > 1) {
            QStringList names;
            for (const BandPort &band : bands)
                names.append(band.entry.portName);
            return out.fail(ExitNoBand, QStringLiteral("%1 bands found (%2): choose one with --port N")
                                            .arg(bands.size()).arg(names.join(QStringLiteral(", "))));
        }
        portNumber = quint8(bands.first().number);
        device = ttyPath(bands.first().number);
        break;
    }
    }
    located = true;
    return ExitOk;
}

int BandConnection::open(Output &out)
{
    if (const int code = locate(out); code != ExitOk)
        return code;
    if (!sb_init(portNumber)) {
        if (isGone())
            return out.fail(ExitNoBand, QStringLiteral("no band: %1 went away").arg(device));
        return out.fail(ExitBandFailed, QStringLiteral("cannot open %1 (in use by another program, or not a serial device)").arg(device));
    }
    linkOpen = true;
    return ExitOk;
}

int BandConnection::failed(Output &out, const QString &what) const
{
    if (isGone())
        return out.fail(ExitBandFailed, QStringLiteral("the band went away (%1 is gone) during: %2").arg(device, what));
    return out.fail(ExitBandFailed, QStringLiteral("the band did not answer properly: %1").arg(what));
}

bool BandConnection::isGone() const
{
    return !device.isEmpty() && !QFileInfo::exists(device);
}

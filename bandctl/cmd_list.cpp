// list: every band attached, on its serial port or as an upgrade disk.
#include "bandports.h"
#include "output.h"
#include "portsource.h"
#include "result.h"
#include "simulatedhub.h"
#include "subcommand.h"
#include "upgradedisks.h"

#include <bandsim/virtualband.h>

#include <memory>

namespace {

QString hex4(quint16 value)
{
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0'));
}

// Where the band is plugged in (empty when the system does not say) and,
// where it has one, its serial number.
void addPlace(Result &result, const QString &location, const QString &serial)
{
    result.add(QStringLiteral("usb_path"), location.isEmpty() ? QJsonValue() : QJsonValue(location),
               location.isEmpty() ? QStringLiteral("unknown") : location);
    result.addJsonOnly(QStringLiteral("serial"), QJsonValue());
    if (!serial.isEmpty())
        result.add(QStringLiteral("serial"), serial);
}

// With --usb-path, only the bands at the locations given.
bool isChosen(const BandChoice &choice, const QString &location)
{
    return choice.usbPaths.isEmpty() || choice.usbPaths.contains(location);
}

Result serialBand(const BandPort &band, const QString &device)
{
    Result result;
    result.add(QStringLiteral("mode"), QStringLiteral("serial"));
    result.add(QStringLiteral("port"), band.number);
    result.add(QStringLiteral("device"), device);
    result.addJsonOnly(QStringLiteral("mount"), QJsonValue());
    result.add(QStringLiteral("usb_id"), hex4(band.entry.vendorId) + u':' + hex4(band.entry.productId));
    addPlace(result, band.entry.usbLocation, band.entry.serialNumber);
    return result;
}

Result diskBand(const UpgradeDisk &disk)
{
    Result result;
    result.add(QStringLiteral("mode"), QStringLiteral("upgrade"));
    result.addJsonOnly(QStringLiteral("port"), QJsonValue());
    result.add(QStringLiteral("device"), disk.blockDevice);
    result.add(QStringLiteral("mount"), disk.mountPoint);
    result.add(QStringLiteral("usb_id"), QStringLiteral("0451:16a8"));
    addPlace(result, disk.usbLocation, disk.serialNumber);
    return result;
}

int run(CommandContext &context)
{
    ArgumentReader reader(context.arguments);
    const auto words = reader.words();
    if (!words || !words->isEmpty())
        return context.out.fail(ExitUsage, words ? QStringLiteral("list takes no words") : reader.error());
    const BandChoice &choice = context.options.band;
    const BandChoice::Kind kind = choice.kind;
    if (kind == BandChoice::Kind::Port || kind == BandChoice::Kind::Device)
        return context.out.fail(ExitUsage, QStringLiteral("list shows every band; --port and --device do not apply"));

    // The virtual bands stand in for the system's ports; they have no disks.
    std::unique_ptr<SimulatedHub> simulated;
    const SystemPortSource system;
    const PortSource *ports = &system;
    if (kind == BandChoice::Kind::Simulate) {
        simulated = std::make_unique<SimulatedHub>(context.options.band.simulated);
        if (!simulated->plugIn())
            return context.out.fail(ExitNoBand, QStringLiteral("cannot start a virtual band (no pseudo-terminal to be had)"));
        ports = simulated.get();
    }
    int count = 0;
    for (const BandPort &band : bandPortsIn(ports->availablePorts())) {
        if (!isChosen(choice, band.entry.usbLocation))
            continue;
        context.out.print(serialBand(band, ports->devicePath(band.entry)));
        ++count;
    }
    for (const UpgradeDisk &disk : simulated ? QList<UpgradeDisk>() : upgradeDisks()) {
        if (!isChosen(choice, disk.usbLocation))
            continue;
        context.out.print(diskBand(disk));
        ++count;
    }
    if (count == 0 && !choice.usbPaths.isEmpty())
        return context.out.fail(ExitNoBand, QStringLiteral("no band at USB location %1").arg(choice.usbPaths.join(QStringLiteral(", "))));
    if (count == 0)
        return context.out.fail(ExitNoBand, QStringLiteral("no band attached"));
    return ExitOk;
}

} // namespace

extern const Subcommand listCommand = {
    "list", "list", "every band attached: port, device, mode, USB ids and location",
    "One result per band: mode (serial, or upgrade for a band in upgrade mode), port and\n"
    "device of a serial band, block device and mount point of an upgrade disk, usb_id,\n"
    "usb_path (where it is plugged in: bus and hub ports, e.g. 1-1.4.2; a band keeps it\n"
    "when it restarts as a disk in the same port) and serial where the band has one.\n"
    "--usb-path LOCATION shows only the band there. Exit code 3 when no band is attached.\n",
    run,
};

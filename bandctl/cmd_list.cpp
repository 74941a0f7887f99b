// list: every band attached, on its serial port or as an upgrade disk.
#include "bandports.h"
#include "output.h"
#include "portsource.h"
#include "result.h"
#include "simulatedhub.h"
#include "subcommand.h"
#include "upgradedisks.h"

#include <bandsim/virtualband.h>

namespace {

QString hex4(quint16 value)
{
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0'));
}

Result serialBand(const BandPort &band, const QString &device)
{
    Result result;
    result.add(QStringLiteral("mode"), QStringLiteral("serial"));
    result.add(QStringLiteral("port"), band.number);
    result.add(QStringLiteral("device"), device);
    result.add(QStringLiteral("usb_id"), hex4(band.entry.vendorId) + u':' + hex4(band.entry.productId));
    if (!band.entry.usbLocation.isEmpty())
        result.add(QStringLiteral("usb_path"), band.entry.usbLocation);
    return result;
}

Result diskBand(const UpgradeDisk &disk)
{
    Result result;
    result.add(QStringLiteral("mode"), QStringLiteral("upgrade"));
    result.add(QStringLiteral("device"), disk.blockDevice);
    result.add(QStringLiteral("mount"), disk.mountPoint);
    result.add(QStringLiteral("usb_id"), QStringLiteral("0451:16a8"));
    result.add(QStringLiteral("usb_path"), disk.usbPath);
    return result;
}

int run(CommandContext &context)
{
    ArgumentReader reader(context.arguments);
    const auto words = reader.words();
    if (!words || !words->isEmpty())
        return context.out.fail(ExitUsage, words ? QStringLiteral("list takes no words") : reader.error());
    const BandChoice::Kind kind = context.options.band.kind;
    if (kind == BandChoice::Kind::Port || kind == BandChoice::Kind::Device)
        return context.out.fail(ExitUsage, QStringLiteral("list shows every band; --port and --device do not apply"));

    int count = 0;
    if (kind == BandChoice::Kind::Simulate) {
        SimulatedHub simulated(context.options.band.simulated);
        if (!simulated.plugIn())
            return context.out.fail(ExitNoBand, QStringLiteral("cannot start a virtual band (no pseudo-terminal to be had)"));
        for (SimulatedBand *band : simulated.bands()) {
            for (const BandPort &port : bandPortsIn(band->availablePorts())) {
                context.out.print(serialBand(port, QString::fromStdString(band->band().devicePath())));
                ++count;
            }
        }
    } else {
        for (const BandPort &band : bandPortsIn(SystemPortSource().availablePorts())) {
            context.out.print(serialBand(band, QStringLiteral("/dev/") + band.entry.portName));
            ++count;
        }
        for (const UpgradeDisk &disk : upgradeDisks()) {
            context.out.print(diskBand(disk));
            ++count;
        }
    }
    if (count == 0)
        return context.out.fail(ExitNoBand, QStringLiteral("no band attached"));
    return ExitOk;
}

} // namespace

extern const Subcommand listCommand = {
    "list", "list", "every band attached: port, device, mode and USB ids",
    "One result per band: mode (serial, or upgrade for a band in upgrade mode), port and\n"
    "device of a serial band, block device and mount point of an upgrade disk, and usb_id.\n"
    "Exit code 3 when no band is attached.\n",
    run,
};

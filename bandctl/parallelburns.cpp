#include "parallelburns.h"

#include "bandchannel.h"
#include "bandset.h"
#include "burnrecord.h"
#include "interrupt.h"
#include "output.h"
#include "parallelburn.h"
#include "result.h"
#include "runrecords.h"
#include "simulatedhotplugsource.h"
#include "simulatedhub.h"
#include "subcommand.h"
#include "systemhotplug.h"

#include <QEventLoop>

#include <memory>

int runParallelBurns(CommandContext &context, const BurnCycleOptions &given)
{
    BandSet set;
    if (const int code = set.find(context.options.band, context.out, QStringLiteral("burn")); code != ExitOk)
        return code;

    std::unique_ptr<HotplugSource> hotplug;
    if (SimulatedHub *hub = set.simulated()) {
        auto source = std::make_unique<SimulatedHotplugSource>(hub->bands());
        source->setFirmwareName(given.files.binName);
        hotplug = std::move(source);
    } else {
        hotplug = createSystemHotplugSource();
    }
    BurnCycleOptions options = given;
    // Links of their own, opened on the device behind the port at that moment.
    options.openBand = [&set](quint8 port) {
        return std::make_unique<LinkChannel>(set.deviceOfPort(port).toStdString());
    };
    QList<BurnSlot> places;
    for (const AttachedBand &band : set.bands())
        places.append({band.usbPath, band.port});

    // Each band's record as its run ends, with the result that tells of it.
    RecordStore store;
    store.setIdentity(burnerIdentity(given.files, given.sourceFolder));
    QList<Result> shown(set.bands().size());
    bool recordLost = false;
    ParallelBurn burn(hotplug.get(), &set.ports());
    burn.setRecords(&store, [&](int slot, RunRecord &record, const BurnReport &report) {
        const AttachedBand &band = set.bands()[slot];
        shown[slot] = describeBurn(report, band.device, band.usbPath);
        recordLost = keepRecord(store, record, shown[slot], ExitOk) == ExitRecordLost || recordLost;
    });
    QEventLoop loop;
    QList<BurnReport> reports;
    QObject::connect(&burn, &ParallelBurn::finished, &loop, [&](const QList<BurnReport> &all) {
        reports = all;
        loop.quit();
    });
    QObject::connect(&burn, &ParallelBurn::stageChanged, &loop, [&](int slot, BurnReport::Stage stage) {
        context.out.progress(QStringLiteral("%1: %2").arg(set.bands()[slot].label(), BurnReport::stageName(stage)));
    });
    const auto interrupt = [&burn] { burn.stop(QStringLiteral("interrupted")); };
    QObject::connect(&context.interrupt, &InterruptWatch::interrupted, &burn, interrupt);
    if (!burn.start(places, options))
        return context.out.fail(ExitBandFailed, QStringLiteral("cannot watch for the bands' disks (hot-plug events refused)"));
    if (InterruptWatch::requested())
        interrupt();
    loop.exec();

    int exitCode = ExitOk;
    for (int slot = 0; slot < reports.size(); ++slot) {
        context.out.print(shown[slot]);
        // One kind of failure keeps its own code; several kinds give 1.
        const int code = exitCodeOf(reports[slot]);
        if (code != ExitOk)
            exitCode = exitCode == ExitOk || exitCode == code ? code : int(ExitBandFailed);
    }
    // A record that could not be kept anywhere outweighs any outcome.
    return recordLost ? int(ExitRecordLost) : exitCode;
}

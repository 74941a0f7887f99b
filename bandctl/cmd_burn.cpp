// burn [--def FILE] [--bin DIR] [--disk PATH]: the burner's cycle, on the
// same BurnController and hot-plug sources the windows use, writing the same
// run.log and record.
#include "bandconnection.h"
#include "burncontroller.h"
#include "burndefinition.h"
#include "burnrecord.h"
#include "interrupt.h"
#include "output.h"
#include "parallelburns.h"
#include "readerreasons.h"
#include "result.h"
#include "runrecords.h"
#include "simulatedband.h"
#include "simulatedhotplugsource.h"
#include "subcommand.h"
#include "systemhotplug.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QJsonObject>

#include <memory>

// The cycle's failures by where they happened.
int exitCodeOf(const BurnReport &report)
{
    if (report.outcome == BurnReport::Outcome::Pass)
        return ExitOk;
    if (report.outcome == BurnReport::Outcome::Fail && report.stage == BurnReport::Stage::Burn) {
        if (report.failedStep >= 0 && report.failedStep <= 2)
            return ExitBadFiles; // the source folder or a file in it
        if (report.failedStep >= 3)
            return ExitBurnFailed;
    }
    return ExitBandFailed;
}

namespace {

// The device behind the folder a burn went to (the mount's source, e.g.
// /dev/sdb1); empty when the system does not tell.
QString diskDevice(const QString &folder)
{
    const QStorageInfo storage(folder);
    return storage.isValid() ? QString::fromLocal8Bit(storage.device()) : QString();
}

} // namespace

Result describeBurn(const BurnReport &report, const QString &device, const QString &usbPath)
{
    QJsonObject json = report.toJson();
    json.insert(QStringLiteral("command"), QStringLiteral("burn"));
    json.insert(QStringLiteral("device"), device.isEmpty() ? QJsonValue() : QJsonValue(device));
    json.insert(QStringLiteral("usb_path"), usbPath.isEmpty() ? QJsonValue() : QJsonValue(usbPath));
    QStringList lines = {QStringLiteral("outcome: ") + BurnReport::outcomeName(report.outcome)};
    if (!device.isEmpty())
        lines += QStringLiteral("device:  ") + device;
    if (!usbPath.isEmpty())
        lines += QStringLiteral("usb_path: ") + usbPath;
    if (report.outcome != BurnReport::Outcome::Pass) {
        lines += QStringLiteral("stage:   ") + BurnReport::stageName(report.stage);
        if (report.failedStep >= 0)
            lines += QStringLiteral("step:    ") + BurnReport::stepLabel(report.failedStep);
        if (!report.error.isEmpty())
            lines += QStringLiteral("error:   ") + report.error;
    }
    QStringList steps;
    for (int step = 0; step < BurnReport::kStepCount; ++step)
        steps += BurnReport::stepLabel(step) + u' ' + BurnReport::stepResultName(report.steps[size_t(step)]);
    lines += QStringLiteral("steps:   ") + steps.join(QStringLiteral(", "));
    lines += QStringLiteral("disk:    ") + report.diskRoot;
    if (!report.version.isEmpty())
        lines += QStringLiteral("version: ") + report.version + QStringLiteral(" (") + report.bluetooth + u')';
    lines += QStringLiteral("duration_ms: ") + QString::number(report.elapsedMs);
    return Result(json, lines.join(u'\n'));
}

namespace {

// Missing source files are found before the band is put into upgrade mode.
QString missingSource(const QString &folder, const BurnFileNames &files)
{
    if (!QFileInfo(folder).isDir())
        return QStringLiteral("the burn folder %1 does not exist").arg(folder);
    for (const QString &name : {files.cfgName, files.binName}) {
        if (!QFileInfo(QDir(folder).filePath(name)).isFile())
            return QStringLiteral("the burn folder %1 has no %2").arg(folder, name);
    }
    return {};
}

int run(CommandContext &context)
{
    ArgumentReader reader(context.arguments);
    const QString defFile = reader.value(QStringLiteral("--def")).value_or(QStringLiteral("def.xml"));
    QString binDir = reader.value(QStringLiteral("--bin")).value_or(QStringLiteral("bin/"));
    const QString disk = reader.value(QStringLiteral("--disk")).value_or(QString());
    const bool all = reader.flag(QStringLiteral("--all"));
    const auto diskTimeout = reader.number(QStringLiteral("--disk-timeout"), 1, 3600, 60);
    const auto portTimeout = reader.number(QStringLiteral("--port-timeout"), 1, 3600, 60);
    const auto words = reader.words();
    if (!words || !words->isEmpty())
        return context.out.fail(ExitUsage, words ? QStringLiteral("burn takes no words") : reader.error());

    BurnCycleOptions options;
    {
        const ReaderReasons reasons; // only while the file is read
        if (!readBurnDefinition(defFile, &options.files))
            return context.out.fail(ExitBadFiles, reasons.refusal(QStringLiteral("burn"), defFile));
    }
    if (!binDir.endsWith(u'/'))
        binDir += u'/';
    if (const QString missing = missingSource(binDir, options.files); !missing.isEmpty())
        return context.out.fail(ExitBadFiles, missing);
    if (!disk.isEmpty() && !QFileInfo(disk).isDir())
        return context.out.fail(ExitBadFiles, QStringLiteral("the disk %1 is not a folder").arg(disk));
    if (const int code = refuseUnusableStation(context.out, QStringLiteral("burn")); code != ExitOk)
        return code;
    options.sourceFolder = binDir;
    options.diskTimeoutMs = int(*diskTimeout * 1000);
    options.portTimeoutMs = int(*portTimeout * 1000);
    if (all) {
        if (!disk.isEmpty())
            return context.out.fail(ExitUsage, QStringLiteral("burn --all waits for each band's own disk; --disk is for one band"));
        return runParallelBurns(context, options);
    }

    // With --disk the band is in upgrade mode already and nothing waits for it.
    BandConnection band(context.options.band);
    std::unique_ptr<HotplugSource> hotplug;
    const PortSource *ports = nullptr;
    if (disk.isEmpty()) {
        if (const int code = band.locate(context.out); code != ExitOk)
            return code;
        options.upgradePort = band.port();
        options.upgradeDevice = band.devicePath();
        if (SimulatedBand *simulated = band.simulated()) {
            auto source = std::make_unique<SimulatedHotplugSource>(simulated);
            source->setFirmwareName(options.files.binName);
            hotplug = std::move(source);
            ports = simulated;
        } else {
            hotplug = createSystemHotplugSource();
        }
    } else {
        options.diskRoot = disk;
        options.waitForPort = false;
    }

    BurnController cycle(hotplug.get(), ports);
    if (disk.isEmpty())
        cycle.setLocation(band.usbLocation()); // also the record's usb_path
    RecordStore store;
    store.setIdentity(burnerIdentity(options.files, options.sourceFolder));
    cycle.setRecordStore(&store);
    Result shown;
    int code = ExitOk;
    cycle.setRecordKeeper([&](RunRecord &record, const BurnReport &report) {
        shown = describeBurn(report, disk.isEmpty() ? band.devicePath() : diskDevice(disk),
                             disk.isEmpty() ? band.usbLocation() : QString());
        code = keepRecord(store, record, shown, exitCodeOf(report));
    });
    QEventLoop loop;
    QObject::connect(&cycle, &BurnController::finished, &loop, &QEventLoop::quit);
    QObject::connect(&cycle, &BurnController::stageChanged, &loop, [&](BurnReport::Stage stage) {
        context.out.progress(QStringLiteral("stage: %1").arg(BurnReport::stageName(stage)));
    });
    QObject::connect(&cycle, &BurnController::stepReported, &loop, [&](uint step, bool passed) {
        context.out.progress(QStringLiteral("  %1 %2").arg(BurnReport::stepLabel(int(step)),
                                                            passed ? QStringLiteral("passed") : QStringLiteral("failed")));
    });
    const auto interrupt = [&cycle] { cycle.stop(QStringLiteral("interrupted")); };
    QObject::connect(&context.interrupt, &InterruptWatch::interrupted, &cycle, interrupt);
    if (!cycle.start(options))
        return context.out.fail(ExitBandFailed, QStringLiteral("cannot watch for the band's disk (hot-plug events refused)"));
    if (InterruptWatch::requested())
        interrupt();
    loop.exec();
    context.out.print(shown);
    return code;
}

} // namespace

extern const Subcommand burnCommand = {
    "burn", "burn [--def FILE] [--bin DIR] [--disk PATH | --all]", "the burner's cycle: upgrade, wait for the disk, burn, wait for the port",
    "Puts the band into upgrade mode, waits for its USB disk, copies the configuration file and\n"
    "the firmware image named in def.xml from the burn folder onto it, and waits for the band's\n"
    "serial port to return. Every burn is appended to run.log in the working directory and kept\n"
    "in the station's records (results.db there, and the server station.ini names).\n"
    "  --def FILE          the burn definition (default: def.xml in the working directory)\n"
    "  --bin DIR           the burn folder (default: bin/ in the working directory)\n"
    "  --disk PATH         burn into PATH (a disk mounted by hand); no upgrade, no waits\n"
    "  --all               burn every band at once (or every --device given; with --simulate N,\n"
    "                      the N virtual bands), each on its own thread and link; each band's\n"
    "                      disk is the one in its own USB location, never another's, and a band\n"
    "                      whose location is unknown is not burned; one result and one record\n"
    "                      per band, with its usb_path; run.log names the location on each line\n"
    "  --disk-timeout S    longest wait for the band's disk (default 60)\n"
    "  --port-timeout S    longest wait for the band's port after the burn (default 60)\n"
    "The result carries outcome (pass, fail or interrupted), stage, failed_step, steps and\n"
    "error (the failed step and why: \"copy band.bin: No space left on device\"), device (the\n"
    "band's port, or the disk's device with --disk), both files' SHA-256 as copied and as read\n"
    "back from the disk, and the version the band came back with.\n"
    "Exit code 4 for a bad def.xml, burn folder or station.ini, 5 when the burn failed on the disk,\n"
    "1 when the band did not take the upgrade or did not come back in time.\n",
    run,
};

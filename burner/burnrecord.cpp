#include "burnrecord.h"

#include <bandsim/virtualband.h>

void fillBurnRecord(RunRecord &record, const BurnReport &report)
{
    // Outside the steps (upgrade, waiting for the disk or the port) the stage names the failure.
    const bool inStep = report.failedStep >= 0;
    const QString step = report.outcome == BurnReport::Outcome::Pass ? QString()
                         : inStep ? BurnReport::stepLabel(report.failedStep)
                                  : BurnReport::stageName(report.stage);
    record.finish(runOutcomeOf(report.outcome), step, inStep ? report.failedStep : -1);
    record.startedAt = report.startedAt;
    record.unit = report.bluetooth; // read when the band came back from its restart

    // The steps, the files with sizes and SHA-256 as copied and as read
    // back, the disk, the version the band came back with.
    QJsonObject d = report.toJson();
    // The record has these fields of its own.
    d.remove(QStringLiteral("outcome"));
    d.remove(QStringLiteral("failed_step"));
    d.remove(QStringLiteral("duration_ms"));
    record.details = d;
    record.simulated = bandsim::VirtualBand::anyInProcess();
    record.defSha256 = report.files.defSha256;
    record.imageSha256 = report.binSha256;
    record.imageVersion = report.version;
}

StationIdentity burnerIdentity(const BurnFileNames &files, const QString &sourceFolder)
{
    return {QStringLiteral("burner"), StationIdentity::thisVersion(), files.defSha256,
            files.binName.isEmpty() ? QString() : fileSha256(sourceFolder + files.binName)};
}

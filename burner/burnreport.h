// What one burn cycle came to: its outcome, where it stopped, the nine
// rows the window shows, and what was burned where.
#pragma once

#include "burnfilenames.h"

#include <QDateTime>
#include <QJsonObject>
#include <QMetaType>
#include <QString>

#include <array>

struct BurnReport {
    enum class Outcome { Pass, Fail, Interrupted };
    // The part of the cycle that ended it (Done for a pass).
    enum class Stage { Upgrade, DiskWait, Burn, PortWait, Done };
    enum class StepResult { NotRun, Passed, Failed };

    static constexpr int kStepCount = 9; // rows "CSD" .. "CNB", then "RST"
    static constexpr int kResultStep = 8;

    Outcome outcome = Outcome::Fail;
    Stage stage = Stage::Upgrade;
    // The step that failed or was running when interrupted, 0..8 (8: the
    // band did not come back); -1 when the cycle ended outside the steps.
    int failedStep = -1;
    std::array<StepResult, kStepCount> steps{};
    // One English line: why it failed ("copy band.bin: No space left on
    // device", "the window was closed"); empty for a pass.
    QString error;
    QString sourceFolder; // e.g. "bin/"
    BurnFileNames files;
    qint64 cfgBytes = -1; // sizes of the source files; -1 when unreadable
    qint64 binBytes = -1;
    QString cfgSha256; // of the files as copied onto the disk; empty when not copied
    QString binSha256;
    // Of the files as read back from the disk after the flush; they differ
    // from the above only when the copy failed for it.
    QString cfgReadBackSha256;
    QString binReadBackSha256;
    QString diskRoot; // the band's disk, ending in '/'; empty when none
    // The band as it came back from its restart: firmware version "a.b.c.d"
    // and Bluetooth address; empty when not read.
    QString version;
    QString bluetooth;
    QDateTime startedAt; // UTC, when the cycle began: its record covers the whole cycle
    qint64 elapsedMs = 0;

    // "CSD" .. "RST"
    static QString stepLabel(int step);
    static QString outcomeName(Outcome outcome); // "pass", "fail", "interrupted"
    static QString stageName(Stage stage);       // "upgrade", "disk", "burn", "port", "done"
    static QString stepResultName(StepResult result); // "not run", "passed", "failed"

    // Stable field names: outcome, stage, failed_step (label or null),
    // steps {CSD: ..}, error, source, cfg {name, bytes, sha256,
    // sha256_read_back}, bin {...}, disk, version, bluetooth, duration_ms;
    // null for what is empty or unknown.
    QJsonObject toJson() const;
};
Q_DECLARE_METATYPE(BurnReport)

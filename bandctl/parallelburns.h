// burn --all: the burner's cycle on every band at once, in this process, one
// thread and link per band, each disk matched to its band by USB location;
// one result and one record per band.
#pragma once

#include <QString>

struct BurnReport;
class Result;
struct BurnCycleOptions;
struct CommandContext;

int runParallelBurns(CommandContext &context, const BurnCycleOptions &options);

// From cmd_burn.cpp: one burn as a result (usbPath empty when unknown), and its exit code.
Result describeBurn(const BurnReport &report, const QString &device, const QString &usbPath);
int exitCodeOf(const BurnReport &report);

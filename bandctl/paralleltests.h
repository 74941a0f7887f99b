// The tester's run on bands from the command line: one controller per band,
// all at once, one result and one record per band.
#pragma once

#include "testdefinition.h"

#include <QList>
#include <QString>

#include <functional>

struct CommandContext;

struct BandToTest {
    QString device;               // what the band's link opens
    QString usbPath;              // where it is plugged in; empty when unknown
    std::function<bool()> present; // asked on the run's thread after a failed step
    QString label;                // how a summary line names it; empty: print the whole result
};

// Tests every band at once and prints each result; the exit code: 0 when
// every band passed, a lost record before any outcome.
int runTests(CommandContext &context, const QList<BandToTest> &bands, const TestDefinition &definition);

// test --all: every band the command line chose.
int runParallelTests(CommandContext &context, const TestDefinition &definition);

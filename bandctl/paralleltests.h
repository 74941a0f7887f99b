// test --all: one child bandctl per band, all at once (the library holds one
// port per process), one result per band.
#pragma once

#include <QString>

struct CommandContext;

// defFile: absolute, so that every child reads the same file.
int runParallelTests(CommandContext &context, const QString &defFile);

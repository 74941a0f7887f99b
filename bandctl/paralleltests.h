// test --all: the tester's sequence on every band at once, in this process,
// one link and one thread per band, one result and one record per band.
#pragma once

#include "testdefinition.h"

struct CommandContext;

int runParallelTests(CommandContext &context, const TestDefinition &definition);

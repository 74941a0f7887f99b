// A tester run as the station keeps it: the same record whether the window
// or bandctl ran the sequence.
#pragma once

#include "runrecord.h"
#include "testsequence.h"

// Fills record (from RecordStore::begin("tester")) with the run's times,
// outcome, the band's identity and what was sent and read back.
void fillTestRecord(RunRecord &record, const TestResult &result);

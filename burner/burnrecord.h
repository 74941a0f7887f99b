// A burn as the station keeps it: the same record whether the window or
// bandctl ran the cycle.
#pragma once

#include "burnreport.h"
#include "runrecord.h"

// Fills record (from RecordStore::begin("burner")) with the burn's outcome,
// the nine steps, the two files with their sizes and SHA-256 (as the burn
// copied them) and the disk it went to.
void fillBurnRecord(RunRecord &record, const BurnReport &report);

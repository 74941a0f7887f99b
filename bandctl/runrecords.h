// Keeping bandctl's test and burn runs in the station's records, as the
// windows do: results.db (and station.ini) in the working directory.
#pragma once

#include "recordstore.h"

class Result;

// Writes record and notes in result what became of it: "record" with its id,
// or "record_problem" with why it was not kept. The run's outcome and exit
// code stay as they are either way.
void keepRecord(RecordStore &store, RunRecord &record, Result &result);

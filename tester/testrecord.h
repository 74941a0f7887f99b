// A tester run as the station keeps it: the same record whether the window
// or bandctl ran the sequence.
#pragma once

#include "runrecord.h"
#include "testsequence.h"

// What the run sent and read: version, bluetooth, time_sent and time_read,
// led_, conf_ and alarms_sent and _read; each null when the run did not get
// that far. Then error and differences, null when there are none. The
// record's details and bandctl's result alike.
QJsonObject testDetails(const TestResult &result);

// Fills record (from RecordStore::begin("tester")) with the run's times,
// outcome, the band's identity and what was sent and read back.
void fillTestRecord(RunRecord &record, const TestResult &result);

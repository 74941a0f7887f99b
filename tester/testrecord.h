// A tester run as the station keeps it: the same record whether the window
// or bandctl ran the sequence.
#pragma once

#include "runrecord.h"
#include "stationreport.h"
#include "testsequence.h"

// What the run sent and read: version, bluetooth, time_sent and time_read,
// led_, conf_ and alarms_sent and _read; each null when the run did not get
// that far. Then error and differences, null when there are none. The
// record's details and bandctl's result alike.
QJsonObject testDetails(const TestResult &result);

// Fills record (from RecordStore::begin("tester")) with the run's times,
// outcome, the band's identity and what was sent and read back, and the
// SHA-256 of the def.xml its settings came from.
void fillTestRecord(RunRecord &record, const TestResult &result, const QString &defSha256);

// What a tester reports itself as, with def.xml's SHA-256.
StationIdentity testerIdentity(const QString &defSha256);

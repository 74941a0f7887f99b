// A burn as the station keeps it: the same record whether the window or
// bandctl ran the cycle.
#pragma once

#include "burnreport.h"
#include "runrecord.h"
#include "stationreport.h"

// Fills record (from RecordStore::begin("burner")) with the burn's outcome,
// the nine steps, the two files with their sizes and SHA-256 (as the burn
// copied them) and the disk it went to; the def.xml's and the image's
// SHA-256 and the version the band came back with.
void fillBurnRecord(RunRecord &record, const BurnReport &report);

// What a burner reports itself as: def.xml's SHA-256 from files, and its
// image's in sourceFolder ("bin/") as it is now.
StationIdentity burnerIdentity(const BurnFileNames &files, const QString &sourceFolder);

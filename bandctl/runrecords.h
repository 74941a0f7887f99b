// Keeping bandctl's test and burn runs in the station's records, as the
// windows do: results.db (and station.ini) in the working directory.
#pragma once

#include "recordcommands.h"
#include "recordstore.h"

class Output;
class Result;
struct CommandContext;

// Writes record and notes in result what became of it: "record" with its id,
// or "record_problem" with why it is not in results.db (and "record_spooled"
// when results-spool/ holds it instead); "station_problem" when station.ini
// is wrong. A run on a pseudo-terminal (a virtual band) is marked simulated.
// Returns exitCode, or ExitRecordLost when the record could not be kept at all.
int keepRecord(RecordStore &store, RunRecord &record, Result &result, int exitCode);
// The same for a record a controller has kept already: kept is what became of it.
int noteRecord(const RecordStore &store, RecordStore::Kept kept, const RunRecord &record, Result &result,
               int exitCode);
// Every virtual band, in bandctl or the bandsim command, is a pseudo-terminal; a real band never is.
bool isPseudoTerminal(const QString &device);
// A station.ini with mistakes starts no band, as in the windows: says so
// (exit code 4, station_problem) and returns that code; ExitOk when usable.
int refuseUnusableStation(Output &out, const QString &command);

// Runs one of the records library's commands (records, yield, sync, line,
// unit) with bandctl's --json, passing its output and messages through;
// valueOptions are those that take a value. Its exit code: 0, 2 for bad
// usage, 1 for a band no run knows, else 6 (the records could not be read).
int runRecordCommand(RecordCommand command, CommandContext &context, const QStringList &valueOptions);

// records and yield: the station's runs read back, from the shared server
// that station.ini names or from results.db; sync: send what waits for it.
#include "interrupt.h"
#include "output.h"
#include "recordcommands.h"
#include "runrecords.h"
#include "subcommand.h"

#include <QTextStream>

namespace {

const QStringList kFilterOptions{QStringLiteral("--since"), QStringLiteral("--until"), QStringLiteral("--station"),
                                 QStringLiteral("--program"), QStringLiteral("--outcome")};

int runRecords(CommandContext &context)
{
    return runRecordCommand(recordsCommand, context, kFilterOptions);
}

int runYield(CommandContext &context)
{
    return runRecordCommand(yieldCommand, context, kFilterOptions);
}

int runSync(CommandContext &context)
{
    return runRecordCommand(syncCommand, context, {});
}

const char kFilters[] =
    "FILTERS:\n"
    "  --since WHEN        runs started at or after WHEN (yyyy-MM-dd, or an ISO 8601 time; UTC)\n"
    "  --until WHEN        runs started before WHEN (a date includes that whole day)\n"
    "  --station NAME      only that station\n"
    "  --program NAME      only tester or burner runs\n"
    "  --outcome O         only pass, fail or interrupted runs\n"
    "  --local             read results.db even when station.ini names a server\n"
    "Reads the server that station.ini in the working directory names (after sending it what\n"
    "waits here, within the time allowed), else results.db there. Ends within 5 s whatever the\n"
    "server does; exit code 6 when the records could not be read.\n";

const QByteArray kRecordsDetails = QByteArray(
    "One line per run, oldest first: start (UTC), station, program, outcome, failed step,\n"
    "duration, the band's Bluetooth address, operator and id; a run on a virtual band is marked\n"
    "SIMULATED (\"simulated\": true in JSON, 1 in CSV), one still in results-spool/ WAITING.\n"
    "  --csv               comma-separated values with every field, details as JSON\n"
    "  --json              one JSON object per run (id, station, program, outcome, started_at, ...)\n") + kFilters;

const QByteArray kYieldDetails = QByteArray(
    "Runs, passes, failures and interruptions per station, UTC day and program; units (bands,\n"
    "told apart by their Bluetooth address; a run that never read it counts as one band) and the\n"
    "first-pass yield: the share of units whose first run there that day passed. Then the ten\n"
    "most frequent failing steps. A band counts once per station name and day, whichever of\n"
    "the station's results.db its runs came from. Runs on a virtual band are left out.\n"
    "  --include-simulated count runs on a virtual band (--simulate, bandsim) too\n"
    "  --json              one JSON object per station, day and program, then one per failing step\n") + kFilters;

const char kSyncDetails[] =
    "Sends every record that waits for the records server station.ini names (and takes in first\n"
    "what results-spool/ holds), then prints how many went and how many still wait.\n"
    "  --json              {\"command\": \"sync\", \"server\", \"sent\", \"waiting\"}\n"
    "Exit code 0 only when none wait; 6 when some still wait (the reason on standard error) or\n"
    "no server is named.\n";

} // namespace

extern const Subcommand recordsCommandEntry = {
    "records", "records [FILTERS] [--csv] [--local]",
    "list the station's test and burn runs", kRecordsDetails.constData(), runRecords,
};

extern const Subcommand syncCommandEntry = {
    "sync", "sync", "send every record waiting for the records server now", kSyncDetails, runSync,
};

extern const Subcommand yieldCommandEntry = {
    "yield", "yield [FILTERS] [--local] [--include-simulated]",
    "pass and fail counts and first-pass yield per station and day", kYieldDetails.constData(), runYield,
};

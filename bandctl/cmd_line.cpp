// line and unit: the whole line as its server knows it, and one band's
// history across it.
#include "recordcommands.h"
#include "runrecords.h"
#include "subcommand.h"

namespace {

int runLine(CommandContext &context)
{
    return runRecordCommand(lineCommand, context, {QStringLiteral("--server")});
}

int runUnit(CommandContext &context)
{
    return runRecordCommand(unitCommand, context, {QStringLiteral("--server"), QStringLiteral("--max-retries")});
}

const char kServerChoice[] =
    "  --server URL        read this records server (postgresql://USER@HOST/DBNAME, a viewer's\n"
    "                      login; a password left out comes from ~/.pgpass) instead of the one\n"
    "                      station.ini in the working directory names\n"
    "Ends within 5 s whatever the server does; exit code 6 when it could not be read.\n";

const QByteArray kLineDetails = QByteArray(
    "Every station that reported itself to the line's server, one line per station and program:\n"
    "online (seen within 2 minutes by the server's clock) or NO, when it was last seen (UTC), the\n"
    "records still waiting there, today's runs and first-pass yield (UTC day, runs on a virtual\n"
    "band left out), its version, the SHA-256 of its def.xml and, for a burner, of its firmware\n"
    "image with the version the last band burned with it reported. A station whose def.xml or image\n"
    "differs from the one most stations of its program use is flagged, naming that one.\n"
    "  --json              one JSON object per station and program, SHA-256s in full\n") + kServerChoice;

const QByteArray kUnitDetails = QByteArray(
    "One band's whole history across the line, oldest first: every burn and test with its\n"
    "station, start (UTC), program, outcome, failing step, and the image burned and the version\n"
    "the band came back with. Then its route: WRONG ROUTE when it passed the tester with no\n"
    "passing burn before it on a line that has burners, or failed more than N times at one step.\n"
    "ADDRESS is the band's Bluetooth address, aa:bb:cc:dd:ee:ff in any case. With no server\n"
    "named, results.db's history of this station alone.\n"
    "  --max-retries N     the failures allowed at one step (default 3)\n"
    "  --json              one JSON object per run (\"kind\": \"run\"), then the route\n"
    "                      {\"kind\": \"route\", \"unit\", \"runs\", \"wrong_route\", \"flags\"}\n")
    + kServerChoice + "Exit code 1 when no run knows the band, 2 for an ADDRESS that is not one.\n";

} // namespace

extern const Subcommand lineCommandEntry = {
    "line", "line [--server URL]", "every station of the line: online, waiting, today's yield, def.xml and image",
    kLineDetails.constData(), runLine,
};

extern const Subcommand unitCommandEntry = {
    "unit", "unit ADDRESS [--max-retries N] [--server URL]", "one band's history across the line and its route",
    kUnitDetails.constData(), runUnit,
};

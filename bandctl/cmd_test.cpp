// test [--def FILE] [--all]: the tester's own sequence against one band, or
// against every band at once, one thread and link each.
#include "bandconnection.h"
#include "defreader.h"
#include "output.h"
#include "paralleltests.h"
#include "readerreasons.h"
#include "result.h"
#include "runrecords.h"
#include "subcommand.h"

namespace {

int runOne(CommandContext &context, const TestDefinition &definition)
{
    BandConnection band(context.options.band);
    if (const int code = band.locate(context.out); code != ExitOk)
        return code;
    return runTests(context, {BandToTest{band.devicePath(), band.usbLocation(), [&band] { return !band.isGone(); }, {}}},
                    definition);
}

int run(CommandContext &context)
{
    ArgumentReader reader(context.arguments);
    const bool all = reader.flag(QStringLiteral("--all"));
    const QString defFile = reader.value(QStringLiteral("--def")).value_or(QStringLiteral("def.xml"));
    const auto words = reader.words();
    if (!words || !words->isEmpty())
        return context.out.fail(ExitUsage, words ? QStringLiteral("test takes no words") : reader.error());

    // Read once here, so that a bad file is one message rather than one per band.
    CDefReader definitionFile(defFile);
    TestDefinition definition;
    {
        const ReaderReasons reasons; // only while the file is read
        if (!definitionFile.read() || !definitionFile.getDefinition(&definition))
            return context.out.fail(ExitBadFiles, reasons.refusal(QStringLiteral("test"), defFile));
    }
    if (const int code = refuseUnusableStation(context.out, QStringLiteral("test")); code != ExitOk)
        return code;
    return all ? runParallelTests(context, definition) : runOne(context, definition);
}

} // namespace

extern const Subcommand testCommand = {
    "test", "test [--def FILE] [--all]", "run the tester's sequence: one result per band",
    "The tester's own sequence: open the port, read the version, set and read the clock,\n"
    "write and read back the LEDs, the wearer settings and the alarm table of def.xml (without\n"
    "one, the band's own table), restart the band.\n"
    "  --def FILE      the test definition (default: def.xml in the working directory)\n"
    "  --all           test every band at once (or every --device given, repeated; with\n"
    "                  --simulate N, the N virtual bands), each on its own link and thread;\n"
    "                  one result and one record per band, with its usb_path where known;\n"
    "                  exit code 0 only when every band passed\n"
    "Each result carries outcome (pass, fail or interrupted) and, for a failure, failed_step;\n"
    "a value the band did not keep also names each field (differences [{field, sent, stored}]).\n"
    "Every run is kept in the station's records (results.db in the working directory, and the\n"
    "server station.ini names); the result says record: ID, or record_problem when it was not.\n"
    "A band that did not pass gives exit code 1; a def.xml or station.ini that cannot be used\n"
    "tests no band and gives exit code 4 (with --json, station_problem names station.ini's mistakes).\n",
    run,
};

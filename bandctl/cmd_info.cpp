// info: version, clock, wearer settings, LEDs, alarm clock and statistics
// in one report.
#include "bandconnection.h"
#include "items.h"
#include "output.h"
#include "subcommand.h"

namespace {

int run(CommandContext &context)
{
    ArgumentReader reader(context.arguments);
    const auto words = reader.words();
    if (!words || !words->isEmpty())
        return context.out.fail(ExitUsage, words ? QStringLiteral("info takes no words") : reader.error());

    BandConnection band(context.options.band);
    if (const int code = band.open(context.out); code != ExitOk)
        return code;
    Result report(QStringLiteral("command"), QStringLiteral("info"));
    report.add(QStringLiteral("device"), band.devicePath());
    const QStringList items = {QStringLiteral("version"), QStringLiteral("time"), QStringLiteral("conf"),
                               QStringLiteral("led"), QStringLiteral("alarm"), QStringLiteral("stat")};
    for (const QString &item : items) {
        const auto result = readItem(band.channel(), item);
        if (!result)
            return band.failed(context.out, QStringLiteral("reading %1").arg(item));
        report.add(item, *result);
    }
    context.out.print(report);
    return ExitOk;
}

} // namespace

extern const Subcommand infoCommand = {
    "info", "info", "version, clock, wearer settings, LEDs, alarm clock and statistics",
    "One report; with --json one object whose fields version, time, conf, led, alarm and stat\n"
    "each hold what get ITEM prints for that item.\n",
    run,
};

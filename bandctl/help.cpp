#include "help.h"

#include "exitcodes.h"
#include "subcommand.h"

namespace {

const char kBandOptions[] =
    "Choosing the band (before or after the subcommand):\n"
    "  --port N        the band on /dev/ttyACMN\n"
    "  --device PATH   any serial device, e.g. the path bandsim prints\n"
    "  --usb-path LOCATION\n"
    "                  the band plugged in there: bus and hub ports as\n"
    "                  bandctl list shows them, e.g. 1-1.4.2\n"
    "  --simulate [N]  N virtual bands inside bandctl (1-16, default 1), in USB\n"
    "                  locations 1-1.1 .. 1-1.N; several are for list and --all,\n"
    "                  or --usb-path chooses among them; after get and set, whose\n"
    "                  words are numbers, write --simulate=N\n"
    "  (none)          the one band plugged in; refused when there are none or several\n"
    "Output:\n"
    "  --json          one JSON object a line for each result\n"
    "  --trace [FILE]  the protocol trace on standard error, or into FILE\n"
    "                  (--trace=FILE when FILE could be read as a subcommand)\n"
    "  --help          this text; bandctl SUBCOMMAND --help for one subcommand\n"
    "  --version       the version of bandctl\n";

} // namespace

QString overviewHelp()
{
    QString text = QStringLiteral("Usage: bandctl [options] SUBCOMMAND [arguments] [options]\n\n"
                                  "Talks to the band from the command line.\n\nSubcommands:\n");
    constexpr qsizetype kColumn = 36;
    for (const Subcommand *command : subcommands()) {
        QString usage = QString::fromUtf8(command->usage);
        // A usage too long for the column gets a line of its own.
        usage = usage.size() + 2 <= kColumn ? usage.leftJustified(kColumn)
                                       : usage + u'\n' + QString(kColumn + 2, u' ');
        text += QStringLiteral("  %1%2\n").arg(usage, QString::fromUtf8(command->summary));
    }
    return text + u'\n' + QString::fromUtf8(kBandOptions) + u'\n' + QString::fromUtf8(exitCodeHelp());
}

QString subcommandHelp(const Subcommand &command)
{
    return QStringLiteral("Usage: bandctl %1 [options]\n\n%2\n\n%3\n%4\n%5")
        .arg(QString::fromUtf8(command.usage), QString::fromUtf8(command.summary),
             QString::fromUtf8(command.details), QString::fromUtf8(kBandOptions),
             QString::fromUtf8(exitCodeHelp()));
}

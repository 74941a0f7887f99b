#include "bandctl.h"

#include "commandline.h"
#include "help.h"
#include "interrupt.h"
#include "output.h"
#include "subcommand.h"
#include "traceroute.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

bool isCommandName(const QString &word)
{
    return findSubcommand(word) != nullptr;
}

// get daystat DAY, set alarm ENTRY, set time DATE TIME.
bool takesNumbers(const QString &command)
{
    return command == QLatin1StringView("get") || command == QLatin1StringView("set");
}

// Found before the options are known, so --json is looked for among the words.
int usageError(const QStringList &arguments, const QString &message)
{
    Output out(-1, arguments.contains(QStringLiteral("--json")));
    out.fail(ExitUsage, message);
    std::fputs("Try bandctl --help.\n", stderr);
    return ExitUsage;
}

void printHelp(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stdout);
}

} // namespace

int runBandctl(const QStringList &arguments)
{
    QString error;
    const auto invocation = parseCommandLine(arguments.mid(1), {isCommandName, takesNumbers}, &error);
    if (!invocation)
        return usageError(arguments, error);
    const Subcommand *command = findSubcommand(invocation->command);
    if (!invocation->command.isEmpty() && !command)
        return usageError(arguments, QStringLiteral("unknown subcommand \"%1\"").arg(invocation->command));
    if (invocation->options.version) {
        std::fputs("bandctl " BANDTOOLS_VERSION "\n", stdout);
        return ExitOk;
    }
    if (invocation->options.help) {
        printHelp(command ? subcommandHelp(*command) : overviewHelp());
        return ExitOk;
    }
    if (invocation->command.isEmpty())
        return usageError(arguments, QStringLiteral("name a subcommand"));

    const GlobalOptions &options = invocation->options;
    TraceRoute trace;
    const auto destination = !options.trace                ? TraceRoute::Destination::Nowhere
                             : options.traceFile.isEmpty() ? TraceRoute::Destination::StandardError
                                                           : TraceRoute::Destination::File;
    if (!trace.route(destination, options.traceFile, &error))
        return usageError(arguments, error);

    Output out(trace.resultFd(), options.json);
    InterruptWatch interrupt;
    if (!interrupt.install())
        return out.fail(ExitBandFailed, QStringLiteral("cannot watch for Ctrl-C"));
    CommandContext context{options, invocation->arguments, out, interrupt, QCoreApplication::applicationFilePath()};
    const int code = command->run(context);
    // Output asked for and lost (a full disk) is no success.
    if (out.writeError() != 0 && code == ExitOk)
        return out.fail(ExitBandFailed, QStringLiteral("the results could not be written: %1")
                                            .arg(QString::fromLocal8Bit(std::strerror(out.writeError()))));
    if (!trace.finish(&error)) {
        if (code == ExitOk)
            return out.fail(ExitBandFailed, error);
        std::fprintf(stderr, "bandctl: %s\n", error.toUtf8().constData());
    }
    return code;
}

#include "bandctl.h"

#include "commandline.h"
#include "help.h"
#include "interrupt.h"
#include "output.h"
#include "subcommand.h"
#include "traceroute.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

namespace {

bool isCommandName(const QString &word)
{
    return findSubcommand(word) != nullptr;
}

int usageError(const QString &message)
{
    std::fprintf(stderr, "bandctl: %s\nTry bandctl --help.\n", message.toUtf8().constData());
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
    const auto invocation = parseCommandLine(arguments.mid(1), isCommandName, &error);
    if (!invocation)
        return usageError(error);
    const Subcommand *command = findSubcommand(invocation->command);
    if (invocation->options.help) {
        printHelp(command ? subcommandHelp(*command) : overviewHelp());
        return ExitOk;
    }
    if (invocation->command.isEmpty())
        return usageError(QStringLiteral("name a subcommand"));
    if (!command)
        return usageError(QStringLiteral("unknown subcommand \"%1\"").arg(invocation->command));

    const GlobalOptions &options = invocation->options;
    TraceRoute trace;
    const auto destination = !options.trace                ? TraceRoute::Destination::Nowhere
                             : options.traceFile.isEmpty() ? TraceRoute::Destination::StandardError
                                                           : TraceRoute::Destination::File;
    if (!trace.route(destination, options.traceFile, &error))
        return usageError(error);

    Output out(trace.resultFd(), options.json);
    InterruptWatch interrupt;
    if (!interrupt.install())
        return out.fail(ExitBandFailed, QStringLiteral("cannot watch for Ctrl-C"));
    CommandContext context{options, invocation->arguments, out, interrupt, QCoreApplication::applicationFilePath()};
    return command->run(context);
}

// reset and upgrade: commands without a reply; the band drops off its port.
#include "bandchannel.h"
#include "bandconnection.h"
#include "output.h"
#include "result.h"
#include "subcommand.h"

namespace {

int sendCommand(CommandContext &context, const QString &name, bool (BandChannel::*send)())
{
    ArgumentReader reader(context.arguments);
    const auto words = reader.words();
    if (!words || !words->isEmpty())
        return context.out.fail(ExitUsage, words ? QStringLiteral("%1 takes no words").arg(name) : reader.error());
    BandConnection band(context.options.band);
    if (const int code = band.open(context.out); code != ExitOk)
        return code;
    if (!(band.channel().*send)())
        return band.failed(context.out, QStringLiteral("sending %1").arg(name));
    Result result(QStringLiteral("command"), name);
    result.add(QStringLiteral("device"), band.devicePath());
    result.add(QStringLiteral("sent"), true);
    context.out.print(result);
    return ExitOk;
}

int runReset(CommandContext &context)
{
    return sendCommand(context, QStringLiteral("reset"), &BandChannel::reset);
}

int runUpgrade(CommandContext &context)
{
    return sendCommand(context, QStringLiteral("upgrade"), &BandChannel::upgrade);
}

} // namespace

extern const Subcommand resetCommand = {
    "reset", "reset", "restart the band",
    "The band restarts and leaves its serial port for a moment; the command has no reply,\n"
    "so success means it was sent.\n",
    runReset,
};

extern const Subcommand upgradeCommand = {
    "upgrade", "upgrade", "put the band into upgrade mode (it comes back as a USB disk)",
    "The band leaves its serial port and comes back as a USB disk that takes new firmware\n"
    "(see burn). The command has no reply, so success means it was sent.\n",
    runUpgrade,
};

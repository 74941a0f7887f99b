// burn: placeholder.
#include "output.h"
#include "subcommand.h"

namespace {

int run(CommandContext &context)
{
    return context.out.fail(ExitUsage, QStringLiteral("burn is not built yet"));
}

} // namespace

extern const Subcommand burnCommand = {"burn", "burn", "burn", "", run};

// test: the tester's sequence (placeholder until the sequence class lands).
#include "output.h"
#include "subcommand.h"

namespace {

int run(CommandContext &context)
{
    return context.out.fail(ExitUsage, QStringLiteral("test is not built yet"));
}

} // namespace

extern const Subcommand testCommand = {"test", "test [--def FILE] [--all]", "run the tester's sequence", "", run};

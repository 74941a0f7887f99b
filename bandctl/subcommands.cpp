// Every subcommand, in the order --help lists them. Adding one: a file that
// defines its `const Subcommand`, one line here, one in CMakeLists.txt.
#include "subcommand.h"

extern const Subcommand listCommand;
extern const Subcommand infoCommand;
extern const Subcommand getCommand;
extern const Subcommand setCommand;
extern const Subcommand watchCommand;
extern const Subcommand resetCommand;
extern const Subcommand upgradeCommand;
extern const Subcommand testCommand;
extern const Subcommand burnCommand;
extern const Subcommand recordsCommandEntry;
extern const Subcommand yieldCommandEntry;
extern const Subcommand syncCommandEntry;
extern const Subcommand lineCommandEntry;
extern const Subcommand unitCommandEntry;
extern const Subcommand serverCommandEntry;

const QList<const Subcommand *> &subcommands()
{
    static const QList<const Subcommand *> all = {
        &listCommand, &infoCommand, &getCommand, &setCommand, &watchCommand,
        &resetCommand, &upgradeCommand, &testCommand, &burnCommand,
        &recordsCommandEntry, &yieldCommandEntry, &syncCommandEntry, &lineCommandEntry, &unitCommandEntry,
        &serverCommandEntry,
    };
    return all;
}

const Subcommand *findSubcommand(const QString &name)
{
    for (const Subcommand *command : subcommands()) {
        if (name == QLatin1StringView(command->name))
            return command;
    }
    return nullptr;
}

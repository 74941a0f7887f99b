// A subcommand is one descriptor in one file; subcommands.cpp lists them all.
#pragma once

#include "commandline.h"

#include <QList>
#include <QString>
#include <QStringList>

class InterruptWatch;
class Output;

struct CommandContext {
    const GlobalOptions &options;
    QStringList arguments;  // the subcommand's own options and words
    Output &out;
    InterruptWatch &interrupt;
    QString program;        // this program's path, for child processes
};

struct Subcommand {
    const char *name;
    const char *usage;      // e.g. "get ITEM [DAY]"
    const char *summary;    // one line for the overview
    const char *details;    // its own options and notes, for its --help
    int (*run)(CommandContext &context); // returns the exit code
};

const QList<const Subcommand *> &subcommands();
const Subcommand *findSubcommand(const QString &name);

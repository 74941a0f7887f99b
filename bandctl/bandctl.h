// The whole program behind main(): parses, routes the trace, runs one subcommand.
#pragma once

#include <QStringList>

// arguments: the program's path first, as QCoreApplication gives them.
int runBandctl(const QStringList &arguments);

// The "records" and "yield" commands of bandctl: they read station.ini in
// the working directory and then the shared server, or results.db when no
// server is named or --local is given. Return the process exit status.
#pragma once

#include <QStringList>

class QTextStream;

// arguments: what follows the command's name on the command line.
int recordsCommand(const QStringList &arguments, QTextStream &out, QTextStream &err);
int yieldCommand(const QStringList &arguments, QTextStream &out, QTextStream &err);

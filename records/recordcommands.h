// The "records", "yield" and "sync" commands of bandctl: they read
// station.ini in the working directory. records and yield read the shared
// server (after sending what waits for it) or results.db when no server is
// named or --local is given; sync sends every waiting record. Each returns
// the process exit status: 0, 1 when the records could not be read or some
// still wait, 2 for bad arguments.
#pragma once

#include <QStringList>

class QTextStream;

// arguments: what follows the command's name on the command line.
int recordsCommand(const QStringList &arguments, QTextStream &out, QTextStream &err);
int yieldCommand(const QStringList &arguments, QTextStream &out, QTextStream &err);
int syncCommand(const QStringList &arguments, QTextStream &out, QTextStream &err);

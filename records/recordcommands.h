// The "records", "yield", "line", "unit" and "sync" commands of bandctl: they read
// station.ini in the working directory. records and yield read the shared
// server (after sending what waits for it) or results.db when no server is
// named or --local is given; sync sends every waiting record. Each returns
// the process exit status: 0, 1 when the records could not be read or some
// still wait, 2 for bad arguments. A server that stops answering ends each
// within 5 s; stopRequested (a flag set by Ctrl-C or SIGTERM) ends a wait
// for the server at once.
#pragma once

#include <QStringList>

#include <functional>

class QTextStream;

using RecordCommand = int (*)(const QStringList &arguments, QTextStream &out, QTextStream &err,
                              const std::function<bool()> &stopRequested);

// arguments: what follows the command's name on the command line.
int recordsCommand(const QStringList &arguments, QTextStream &out, QTextStream &err,
                   const std::function<bool()> &stopRequested = {});
int yieldCommand(const QStringList &arguments, QTextStream &out, QTextStream &err,
                 const std::function<bool()> &stopRequested = {});
// line [--server URL]: every station of the line as the server knows it;
// the server station.ini names, or a viewer's login to it.
int lineCommand(const QStringList &arguments, QTextStream &out, QTextStream &err,
                const std::function<bool()> &stopRequested = {});
// unit ADDRESS [--max-retries N] [--server URL]: one band's history, oldest
// first, and what is wrong with its route; kUnitUnknown when no run knows it.
int unitCommand(const QStringList &arguments, QTextStream &out, QTextStream &err,
                const std::function<bool()> &stopRequested = {});
constexpr int kUnitUnknown = 3;
int syncCommand(const QStringList &arguments, QTextStream &out, QTextStream &err,
                const std::function<bool()> &stopRequested = {});

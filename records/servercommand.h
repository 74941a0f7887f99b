// bandctl's "server init URL": run once by the line's administrator (again
// after installing a newer program), it makes the server's schema, the
// roles of stations, viewers and administrators, and their rights. Returns
// the process exit status: 0, 1 when the server refused or could not be
// reached, 2 for bad arguments.
#pragma once

#include <QStringList>

#include <functional>

class QTextStream;

int serverCommand(const QStringList &arguments, QTextStream &out, QTextStream &err,
                  const std::function<bool()> &stopRequested = {});

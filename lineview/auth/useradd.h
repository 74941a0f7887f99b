// `lineview user add NAME [--users FILE]`: asks for the password (twice,
// without echo, on a terminal; one line from a pipe) and writes the user.
#pragma once

#include <QStringList>

// args: what follows `lineview user`, e.g. {"add", "ann", "--users", "f"}.
// Returns the exit code: 0 done, 2 bad name, password or usage, 1 the file
// could not be read or written. Messages go to standard error.
int runUserAdd(const QStringList &args);

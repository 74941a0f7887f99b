// SQLite's own files beside results.db (results.db-wal, results.db-shm). It
// makes them with the permissions results.db has at that moment, so a
// results.db that was read-only for a while leaves a read-only -shm behind
// that keeps every write out after results.db is writable again.
#pragma once

#include <QString>

// Gives a read-only -wal or -shm the permissions of results.db when that one
// is writable (where this user may change them).
void matchSidecarsToDatabase(const QString &folder);
// The name of a -wal or -shm that is read-only while results.db is not;
// empty when there is none.
QString sidecarInTheWay(const QString &folder);
// error, naming the file in the way first when there is one: the operator
// fixes the file named.
QString namingTheFileInTheWay(const QString &folder, const QString &error);

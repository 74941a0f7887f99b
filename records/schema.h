// The records' tables, the same on the station's SQLite file and on the
// shared PostgreSQL server, and the check of the schema version.
#pragma once

#include <QString>

class QSqlDatabase;

constexpr int kSchemaVersion = 1;

// Creates the tables and indexes when they are missing; refuses a database
// whose schema is newer than this program's. False with *error set otherwise.
bool prepareSchema(QSqlDatabase &db, QString *error);

// The runs' columns, in the order the store writes and the queries read them.
extern const char *const kRunColumns;

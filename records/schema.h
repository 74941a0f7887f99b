// The records' tables, the same on the station's SQLite file and on the
// shared PostgreSQL server, and the check of the schema version.
#pragma once

#include <QString>

class QSqlDatabase;
class QSqlQuery;
struct RunRecord;

// 1: the first; 2: runs.simulated, and every local record queued for the server;
// 3: runs.usb_path, where the band was plugged in; 4: the def.xml, image and
// version each run used, and on the server the line's stations and day counts.
constexpr int kSchemaVersion = 4;

// Creates the tables and indexes when they are missing and brings an older
// schema up to this program's, in place and in one transaction; refuses a
// database whose schema is newer. False with *error set otherwise.
bool prepareSchema(QSqlDatabase &db, QString *error);

// The version found, 0 for an empty database, -1 with *error on failure.
int schemaVersion(QSqlDatabase &db, QString *error);
// Why a database of that (newer) version is refused.
QString newerSchemaProblem(const QSqlDatabase &db, int version);

// The runs' columns, in the order the store writes and the queries read them.
extern const char *const kRunColumns;

// q prepared to insert r into table (runs, or a table of the same columns), values bound.
void prepareRunInsert(QSqlQuery &q, const QString &table, const RunRecord &r);

// Plain words for what went wrong with a database, for the operator's window
// and the debug output.
#pragma once

#include <QString>

class QSqlDatabase;
class QSqlError;

QString describeSqlError(const QSqlDatabase &db, const QSqlError &error);

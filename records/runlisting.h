// Reading runs back: one JSON object per run, oldest first, and the three
// ways bandctl prints them.
#pragma once

#include "recordfilter.h"

#include <QJsonObject>
#include <QList>

class QSqlDatabase;
class QSqlQuery;

// False with *error when the query failed.
bool listRuns(QSqlDatabase &db, const RecordFilter &filter, QList<QJsonObject> *runs, QString *error);

// The run on q's current row, its columns by name: numbers, flags and
// details as JSON values, NULL as null.
QJsonObject runFromQuery(const QSqlQuery &q);

QString runsAsTable(const QList<QJsonObject> &runs);
QString runsAsCsv(const QList<QJsonObject> &runs);
QString runsAsJsonLines(const QList<QJsonObject> &runs);

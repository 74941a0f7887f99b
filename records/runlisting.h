// Reading runs back: one JSON object per run, oldest first, and the three
// ways bandctl prints them.
#pragma once

#include "recordfilter.h"

#include <QJsonObject>
#include <QList>

class QSqlDatabase;

// False with *error when the query failed.
bool listRuns(QSqlDatabase &db, const RecordFilter &filter, QList<QJsonObject> *runs, QString *error);

QString runsAsTable(const QList<QJsonObject> &runs);
QString runsAsCsv(const QList<QJsonObject> &runs);
QString runsAsJsonLines(const QList<QJsonObject> &runs);

// What the records tests share: runs with chosen times, station folders and
// the station child process.
#pragma once

#include "recordcommands.h"
#include "runrecord.h"

#include <QJsonObject>
#include <QStringList>
#include <QUrl>

#include <memory>

class RecordStore;

// A finished run started at startedAt (ISO 8601 UTC) lasting seconds.
RunRecord makeRun(const QString &program, const QString &station, const QString &startedAt, RunOutcome outcome,
                  const QString &unit = QString(), const QString &failedStep = QString(), int seconds = 2);

// station.ini in folder naming the station and, when given, the server.
void writeStationIni(const QString &folder, const QString &name, const QUrl &server = QUrl());

// The station child program (recordchild).
QString recordChildPath();

// Runs the station child (recordchild) and returns the JSON line it printed last.
QJsonObject runChild(const QString &folder, const QStringList &arguments, int *exitCode = nullptr);

// How many runs results.db in folder holds, -1 when it cannot be read.
int localRunCount(const QString &folder);
// Every run in results.db in folder, oldest first, as bandctl records --json gives them.
QList<QJsonObject> localRuns(const QString &folder);

// Runs command in folder and comes back, whatever happens; its status, what
// it printed (standard output, then errors), and how long it took.
int inFolder(const QString &folder, RecordCommand command, const QStringList &args, QString *out, qint64 *ms = nullptr);

// Ends the store, which must not wait long for the server.
void endWithinBound(std::unique_ptr<RecordStore> store);

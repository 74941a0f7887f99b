// Pass and fail counts and first-pass yield per station, UTC day and
// program, and the steps that fail most often.
//
// First-pass yield: of the units a station (by name, across all its
// results.db) saw on a day for a program, the share whose first run there
// that day passed. A unit is a band, known by its Bluetooth address once a
// run read it (the tester with the version, the burner from the band that came
// back); a run that never learnt the address counts as a unit of its own.
// Runs on a virtual band count only when the filter includes them.
#pragma once

#include "recordfilter.h"

#include <QJsonObject>
#include <QList>

class QSqlDatabase;

struct YieldRow {
    QString station, day, program;
    qint64 runs = 0, passed = 0, failed = 0, interrupted = 0;
    qint64 units = 0, firstPass = 0;

    double firstPassYield() const { return units ? double(firstPass) / double(units) : 0.0; }
};

struct FailingStep {
    QString program, step;
    qint64 count = 0;
};

struct YieldReport {
    QList<YieldRow> rows;
    QList<FailingStep> failingSteps;   // most frequent first, at most ten

    // False with *error when a query failed.
    bool compute(QSqlDatabase &db, const RecordFilter &filter, QString *error);
    QString asText() const;
    // One JSON object per line: the rows ("kind": "yield"), then the failing
    // steps ("kind": "failing_step", "failed_step": the step's name).
    QString asJsonLines() const;
};

// Which runs a listing or a yield report takes: a time range on the start
// and exact station, program and outcome.
#pragma once

#include <QString>
#include <QVariantList>

struct RecordFilter {
    QString since;    // ISO 8601 UTC, inclusive; empty = no bound
    QString until;    // ISO 8601 UTC, exclusive; empty = no bound
    QString station;
    QString program;
    QString outcome;
    QString unit;     // the band's Bluetooth address, lower case
    QString imageVersion; // the version a burn's band reported after its restart
    bool includeSimulated = true; // runs on a virtual band
    bool withWaiting = false;      // "runs" also shows the spool's runs (showWaitingRuns)

    // " WHERE ..." (or empty) with its values appended to binds in order.
    QString whereClause(QVariantList *binds) const;
    // The same for every run of the days the time range touches, whatever
    // its outcome: where a unit's first run of a day may be.
    QString daysClause(QVariantList *binds) const;
    // The same on the server's day counts (day_counts, day_failures), for
    // bounds that take whole days and no outcome: those rows hold every outcome.
    QString dayCountsClause(QVariantList *binds) const;
    // Bounds at midnight and nothing the day counts do not hold.
    bool takesWholeDays() const;
};

// A bound from the command line: a date (yyyy-MM-dd, a whole UTC day: since
// takes its start, until the start of the next day) or a date and time
// (ISO 8601, UTC unless it names an offset). False when it is neither.
bool parseTimeBound(const QString &text, bool isUntil, QString *iso);

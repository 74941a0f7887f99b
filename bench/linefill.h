// A line's server filled with millions of runs for the benchmarks that
// read them: bandctl's reports and the line view.
#pragma once

#include <QSqlDatabase>
#include <QString>

namespace bench {

// Runs sql; false, with the statement and the error on standard error, when it failed.
bool exec(QSqlDatabase &db, const QString &sql);

// millions of runs: 20 stations, 20,000 runs a day (1,000 each), 90 % pass,
// 8 % fail at one of four steps, 2 % interrupted, every tenth a retest;
// counted once as an upgrade counts them. Replaces the runs there.
bool fillRuns(QSqlDatabase &db, int millions);

} // namespace bench

// What only the line's server holds beside the runs: the stations that
// report themselves, each day's counts kept as runs arrive (so that yield and
// the line's summary read a few rows, not millions of runs), the first-try
// recount a station may ask for without the right to change runs, and a
// notice on channel "band_runs" with the id of each new run.
#pragma once

#include <QStringList>

// The statements that create them, each safe to run again.
QStringList lineStatements();

// The notification channel; its payload is the new run's id.
constexpr const char *kNewRunChannel = "band_runs";

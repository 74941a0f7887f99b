// Which run of a band is its first there that day: the one first-pass yield
// judges it by. Kept in each run's first_try, and set right again whenever a
// run of that band arrives, also out of order (a spooled record taken in
// late, another results.db of the same station forwarded later).
#pragma once

class QSqlDatabase;
class QSqlError;
class QString;

// Sets first_try for every run of the same band, station, program and day
// as the run with this id; on the server through its mark_first_tries(),
// which holds the right to change runs. False with *error when it failed.
bool markFirstTries(QSqlDatabase &db, const QString &id, QSqlError *error);

// The statement, with idExpression for the run's id ("?", a parameter's name).
QString firstTriesUpdate(const QString &idExpression);

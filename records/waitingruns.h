// The runs results-spool/ holds, read back beside results.db's: they are the
// station's runs too, only not yet in results.db.
#pragma once

#include <QList>

class QSqlDatabase;
class QString;
struct RunRecord;

// On a read-only connection to results.db: "runs" then shows results.db's
// runs and these, with a column waiting (1 for these, 0 for the others).
// False with *error.
bool showWaitingRuns(QSqlDatabase &db, const QList<RunRecord> &waiting, QString *error);

#include "waitingruns.h"

#include "runrecord.h"
#include "schema.h"
#include "sqlerrors.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

bool showWaitingRuns(QSqlDatabase &db, const QList<RunRecord> &waiting, QString *error)
{
    QSqlQuery q(db);
    const auto run = [&](const QString &sql) {
        if (q.exec(sql))
            return true;
        *error = describeSqlError(db, q.lastError());
        return false;
    };
    // Only the connection's own temporary tables are written; results.db stays untouched.
    if (!run(QStringLiteral("PRAGMA query_only = 0"))
        || !run(QStringLiteral("CREATE TEMP TABLE waiting_runs AS SELECT * FROM main.runs WHERE 0")))
        return false;
    for (const RunRecord &r : waiting) {
        prepareRunInsert(q, QStringLiteral("temp.waiting_runs"), r);
        if (!q.exec()) {
            *error = describeSqlError(db, q.lastError());
            return false;
        }
    }
    // A spool file whose removal failed after its record went in is not a second run.
    return run(QStringLiteral("CREATE TEMP VIEW runs AS SELECT *, 0 AS waiting FROM main.runs"
                              " UNION ALL SELECT *, 1 FROM temp.waiting_runs WHERE id NOT IN (SELECT id FROM main.runs)"))
        && run(QStringLiteral("PRAGMA query_only = 1"));
}

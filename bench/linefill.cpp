#include "linefill.h"

#include "linetables.h"

#include <QSqlError>
#include <QSqlQuery>

#include <cstdio>

namespace bench {

bool exec(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    if (q.exec(sql))
        return true;
    std::fprintf(stderr, "%s\n  failed: %s\n", qPrintable(sql.left(200)), qPrintable(q.lastError().text()));
    return false;
}

// millions of runs: 20 stations, 20,000 runs a day (1,000 each), 90 % pass,
// 8 % fail at one of four steps, 2 % interrupted, every tenth a retest;
// counted once as an upgrade counts them.
bool fillRuns(QSqlDatabase &db, int millions)
{
    const qint64 count = qint64(millions) * 1000000;
    const QStringList fill{
        "TRUNCATE runs, day_counts, day_failures, stations",
        "ALTER TABLE runs DISABLE TRIGGER USER",
        QStringLiteral(
            "INSERT INTO runs (id, program, station, operator, started_at, ended_at, day, duration_ms, outcome,"
            " failed_step, unit, first_try, details, def_sha256)"
            " SELECT 'id-' || i, 'tester', 'station-' || (i % 20), 'op', d || 'T08:00:00.000Z', d || 'T08:00:01.000Z',"
            " d, 1000, CASE WHEN i % 50 < 45 THEN 'pass' WHEN i % 50 < 49 THEN 'fail' ELSE 'interrupted' END,"
            " CASE WHEN i % 50 BETWEEN 45 AND 48 THEN 'step ' || (i % 4) END,"
            " 'aa:bb:' || regexp_replace(lpad(to_hex(i / 2), 8, '0'), '(..)(..)(..)(..)', '\\1:\\2:\\3:\\4'),"
            " CASE WHEN i % 10 = 0 THEN 0 ELSE 1 END, '{}', 'ab12'"
            " FROM (SELECT i, to_char(current_date - %1 + (i / 20000), 'YYYY-MM-DD') AS d"
            "       FROM generate_series(0, %2) i) s")
            .arg(count / 20000 - 1).arg(count - 1),
        "ALTER TABLE runs ENABLE TRIGGER USER",
        "INSERT INTO stations (station, program, version, host, def_sha256, waiting)"
        " SELECT 'station-' || s, 'tester', '1.0', 'host-' || s, 'ab12', 0 FROM generate_series(0, 19) s"};
    for (const QString &sql : fill)
        if (!exec(db, sql))
            return false;
    // The upgrade's count of the runs already there: the last two statements.
    const QStringList counting = lineStatements().mid(lineStatements().size() - 2);
    for (const QString &sql : counting)
        if (!exec(db, sql))
            return false;
    return exec(db, "VACUUM ANALYZE");
}


} // namespace bench

#include "yieldreport.h"

#include "sqlerrors.h"
#include "texttable.h"

#include <QSqlError>
#include <QSqlQuery>

namespace {

constexpr int kFailingStepsShown = 10;

bool runQuery(QSqlQuery &q, const QString &sql, const QVariantList &binds)
{
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        return false;
    for (const QVariant &v : binds)
        q.addBindValue(v);
    return q.exec();
}

QString percent(double share)
{
    return QString::number(share * 100.0, 'f', 1) + QLatin1Char('%');
}

// The server counts each day's runs as they arrive: a report of whole days
// reads those few rows, not every run.
bool readsDayCounts(const QSqlDatabase &db, const RecordFilter &filter)
{
    return db.driverName() == QLatin1String("QPSQL") && filter.takesWholeDays() && filter.outcome.isEmpty()
           && !filter.withWaiting;
}

} // namespace

bool YieldReport::compute(QSqlDatabase &db, const RecordFilter &filter, QString *error)
{
    rows.clear();
    failingSteps.clear();
    // Each run's first_try says whether it was its band's first run there
    // that day, across every results.db of the station. A range that cuts a
    // day also takes the bands first seen before it, judged by that first
    // run: worked out from all of those days' runs.
    QVariantList binds;
    QString counts;
    // The spool's runs were never counted into first_try: worked out from the runs then.
    const bool dayCounts = readsDayCounts(db, filter);
    if (dayCounts) {
        counts = QStringLiteral(
            "SELECT station, day, program, SUM(runs), SUM(passed), SUM(failed), SUM(interrupted), SUM(units),"
            " SUM(first_pass) FROM day_counts%1 GROUP BY station, day, program HAVING SUM(runs) > 0"
            " ORDER BY day, station, program")
                     .arg(filter.dayCountsClause(&binds));
    } else if (filter.takesWholeDays() && !filter.withWaiting) {
        counts = QStringLiteral(
            "SELECT station, day, program, COUNT(*),"
            " SUM(CASE WHEN outcome = 'pass' THEN 1 ELSE 0 END),"
            " SUM(CASE WHEN outcome = 'fail' THEN 1 ELSE 0 END),"
            " SUM(CASE WHEN outcome = 'interrupted' THEN 1 ELSE 0 END),"
            " SUM(first_try),"
            " SUM(CASE WHEN first_try = 1 AND outcome = 'pass' THEN 1 ELSE 0 END)"
            " FROM runs%1 GROUP BY station, day, program ORDER BY day, station, program")
                     .arg(filter.whereClause(&binds));
    } else {
        const QString days = filter.daysClause(&binds);
        counts = QStringLiteral(
            "SELECT station, day, program, COUNT(*),"
            " SUM(CASE WHEN outcome = 'pass' THEN 1 ELSE 0 END),"
            " SUM(CASE WHEN outcome = 'fail' THEN 1 ELSE 0 END),"
            " SUM(CASE WHEN outcome = 'interrupted' THEN 1 ELSE 0 END),"
            " COUNT(DISTINCT unit_key),"
            " COUNT(DISTINCT CASE WHEN first_outcome = 'pass' THEN unit_key END)"
            " FROM (SELECT station, day, program, outcome, started_at, simulated, image_version, COALESCE(unit, id) AS unit_key,"
            "  FIRST_VALUE(outcome) OVER (PARTITION BY station, day, program, COALESCE(unit, id)"
            "   ORDER BY started_at, id) AS first_outcome"
            "  FROM runs%1) AS runs%2"
            " GROUP BY station, day, program ORDER BY day, station, program")
                     .arg(days, filter.whereClause(&binds));
    }
    QSqlQuery q(db);
    if (!runQuery(q, counts, binds)) {
        *error = describeSqlError(db, q.lastError());
        return false;
    }
    while (q.next()) {
        YieldRow r;
        r.station = q.value(0).toString();
        r.day = q.value(1).toString();
        r.program = q.value(2).toString();
        r.runs = q.value(3).toLongLong();
        r.passed = q.value(4).toLongLong();
        r.failed = q.value(5).toLongLong();
        r.interrupted = q.value(6).toLongLong();
        r.units = q.value(7).toLongLong();
        r.firstPass = q.value(8).toLongLong();
        rows << r;
    }

    RecordFilter failures = filter;
    failures.outcome = QStringLiteral("fail");
    binds.clear();
    const QString steps = dayCounts
        ? QStringLiteral("SELECT program, failed_step, SUM(failures) AS n FROM day_failures%1"
                         " GROUP BY program, failed_step HAVING SUM(failures) > 0"
                         " ORDER BY n DESC, program, failed_step LIMIT %2")
              .arg(filter.dayCountsClause(&binds)).arg(kFailingStepsShown)
        : QStringLiteral("SELECT program, failed_step, COUNT(*) AS n FROM runs%1 AND failed_step IS NOT NULL"
                         " GROUP BY program, failed_step ORDER BY n DESC, program, failed_step LIMIT %2")
              .arg(failures.whereClause(&binds)).arg(kFailingStepsShown);
    if (!runQuery(q, steps, binds)) {
        *error = describeSqlError(db, q.lastError());
        return false;
    }
    while (q.next())
        failingSteps << FailingStep{q.value(0).toString(), q.value(1).toString(), q.value(2).toLongLong()};
    return true;
}

QString YieldReport::asText() const
{
    const QStringList header{QStringLiteral("day"), QStringLiteral("station"), QStringLiteral("program"),
                             QStringLiteral("runs"), QStringLiteral("pass"), QStringLiteral("fail"),
                             QStringLiteral("interrupted"), QStringLiteral("units"), QStringLiteral("first-pass"),
                             QStringLiteral("FPY")};
    QList<QStringList> lines;
    for (const YieldRow &r : rows)
        lines << QStringList{r.day, r.station, r.program, QString::number(r.runs), QString::number(r.passed),
                             QString::number(r.failed), QString::number(r.interrupted), QString::number(r.units),
                             QString::number(r.firstPass), percent(r.firstPassYield())};
    QString out = textTable(header, lines);
    out += QStringLiteral("\nMost frequent failing steps:\n");
    QList<QStringList> stepLines;
    for (const FailingStep &s : failingSteps)
        stepLines << QStringList{QString::number(s.count), s.program, s.step};
    out += stepLines.isEmpty() ? QStringLiteral("(none)\n")
                               : textTable({QStringLiteral("count"), QStringLiteral("program"), QStringLiteral("step")},
                                           stepLines);
    return out;
}

QString YieldReport::asJsonLines() const
{
    QString out;
    for (const YieldRow &r : rows) {
        out += jsonLine({{QStringLiteral("kind"), QStringLiteral("yield")},
                         {QStringLiteral("station"), r.station}, {QStringLiteral("day"), r.day},
                         {QStringLiteral("program"), r.program}, {QStringLiteral("runs"), r.runs},
                         {QStringLiteral("pass"), r.passed}, {QStringLiteral("fail"), r.failed},
                         {QStringLiteral("interrupted"), r.interrupted}, {QStringLiteral("units"), r.units},
                         {QStringLiteral("first_pass"), r.firstPass},
                         {QStringLiteral("first_pass_yield"), r.firstPassYield()}});
    }
    for (const FailingStep &s : failingSteps)
        out += jsonLine({{QStringLiteral("kind"), QStringLiteral("failing_step")},
                         {QStringLiteral("failed_step"), s.step}, {QStringLiteral("program"), s.program},
                         {QStringLiteral("count"), s.count}});
    return out;
}

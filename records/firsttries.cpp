#include "firsttries.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>

QString firstTriesUpdate(const QString &idExpression)
{
    // Few rows: one band's runs of one day, found through runs_unit.
    return QStringLiteral(
               "UPDATE runs SET first_try = CASE WHEN EXISTS (SELECT 1 FROM runs e WHERE e.unit = runs.unit"
               " AND e.station = runs.station AND e.program = runs.program AND e.day = runs.day"
               " AND (e.started_at < runs.started_at OR (e.started_at = runs.started_at AND e.id < runs.id)))"
               " THEN 0 ELSE 1 END"
               " WHERE (unit, station, program, day) = (SELECT unit, station, program, day FROM runs WHERE id = %1)")
        .arg(idExpression);
}

bool markFirstTries(QSqlDatabase &db, const QString &id, QSqlError *error)
{
    QSqlQuery q(db);
    const bool server = db.driverName() == QLatin1String("QPSQL");
    const bool ok = q.prepare(server ? QStringLiteral("SELECT mark_first_tries(?)") : firstTriesUpdate(QStringLiteral("?")));
    q.addBindValue(id);
    if (ok && q.exec())
        return true;
    *error = q.lastError();
    return false;
}

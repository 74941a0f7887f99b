#include "unithistory.h"

#include "runlisting.h"
#include "sqlerrors.h"
#include "texttable.h"

#include <QJsonArray>
#include <QMap>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

namespace {

constexpr int kShortSha = 12;

QString field(const QJsonObject &run, const char *name)
{
    return run.value(QLatin1String(name)).toString();
}

bool isPass(const QJsonObject &run, const char *program)
{
    return field(run, "program") == QLatin1String(program) && field(run, "outcome") == QLatin1String("pass");
}

// Any burner run or burner station: the server's day counts and reports
// say so without reading its runs; results.db has only runs.
bool lineHasBurners(QSqlDatabase &db, bool *burners, QString *error)
{
    const QString sql = db.driverName() == QLatin1String("QPSQL")
                            ? QStringLiteral("SELECT EXISTS (SELECT 1 FROM day_counts WHERE program = 'burner')"
                                             " OR EXISTS (SELECT 1 FROM stations WHERE program = 'burner')")
                            : QStringLiteral("SELECT EXISTS (SELECT 1 FROM runs WHERE program = 'burner')");
    QSqlQuery q(db);
    if (!q.exec(sql) || !q.next()) {
        *error = describeSqlError(db, q.lastError());
        return false;
    }
    *burners = q.value(0).toBool();
    return true;
}

} // namespace

bool isBluetoothAddress(const QString &text)
{
    static const QRegularExpression address(QStringLiteral("^[0-9a-fA-F]{2}(:[0-9a-fA-F]{2}){5}$"));
    return address.match(text).hasMatch();
}

bool UnitHistory::read(QSqlDatabase &db, const QString &address, int maxRetries, QString *error)
{
    unit = address.toLower();
    RecordFilter filter;
    filter.unit = unit;
    runs.clear();
    flags.clear();
    bool burners = false;
    if (!listRuns(db, filter, &runs, error) || !lineHasBurners(db, &burners, error))
        return false;
    bool burned = false;
    bool passedUnburned = false; // said once: the tester passes after it are the same fault
    QMap<QPair<QString, QString>, int> failures; // by program and step
    for (const QJsonObject &run : std::as_const(runs)) {
        burned = burned || isPass(run, "burner");
        if (burners && !burned && !passedUnburned && isPass(run, "tester")) {
            passedUnburned = true;
            flags << QStringLiteral("passed the tester at %1 (%2) with no passing burn before it")
                         .arg(field(run, "station"), field(run, "started_at"));
        }
        if (field(run, "outcome") == QLatin1String("fail"))
            ++failures[{field(run, "program"), field(run, "failed_step")}];
    }
    for (auto it = failures.cbegin(); it != failures.cend(); ++it)
        if (it.value() > maxRetries)
            flags << QStringLiteral("failed %1 times at %2 step %3 (more than %4)")
                         .arg(it.value()).arg(it.key().first, it.key().second.isEmpty() ? QStringLiteral("?") : it.key().second)
                         .arg(maxRetries);
    return true;
}

QString UnitHistory::asText() const
{
    if (runs.isEmpty())
        return QStringLiteral("No run knows the band %1.\n").arg(unit);
    const QStringList header{QStringLiteral("started_at"), QStringLiteral("station"), QStringLiteral("program"),
                             QStringLiteral("outcome"), QStringLiteral("failed_step"), QStringLiteral("image"),
                             QStringLiteral("image_version"), QStringLiteral("marks")};
    QList<QStringList> rows;
    for (const QJsonObject &run : runs) {
        QStringList marks;
        if (run.value(QStringLiteral("simulated")).toBool())
            marks << QStringLiteral("SIMULATED");
        if (run.value(QStringLiteral("waiting")).toBool())
            marks << QStringLiteral("WAITING");
        rows << QStringList{field(run, "started_at"), field(run, "station"), field(run, "program"),
                            field(run, "outcome"), field(run, "failed_step"), field(run, "image_sha256").left(kShortSha),
                            field(run, "image_version"), marks.join(QLatin1Char(' '))};
    }
    QString out = textTable(header, rows) + QStringLiteral("%1 run(s) of %2\n").arg(runs.size()).arg(unit);
    if (flags.isEmpty())
        return out + QStringLiteral("Route: as it should be\n");
    for (const QString &flag : flags)
        out += QStringLiteral("WRONG ROUTE: %1\n").arg(flag);
    return out;
}

QString UnitHistory::asJsonLines() const
{
    QString out;
    for (QJsonObject run : runs) {
        run.insert(QStringLiteral("kind"), QStringLiteral("run"));
        out += jsonLine(run);
    }
    return out + jsonLine({{QStringLiteral("kind"), QStringLiteral("route")},
                           {QStringLiteral("unit"), unit},
                           {QStringLiteral("runs"), runs.size()},
                           {QStringLiteral("wrong_route"), !flags.isEmpty()},
                           {QStringLiteral("flags"), QJsonArray::fromStringList(flags)}});
}

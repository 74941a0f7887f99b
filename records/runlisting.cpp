#include "runlisting.h"

#include "schema.h"
#include "sqlerrors.h"
#include "texttable.h"

#include <QJsonDocument>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {

const QStringList kTableColumns{
    QStringLiteral("started_at"), QStringLiteral("station"), QStringLiteral("program"), QStringLiteral("outcome"),
    QStringLiteral("failed_step"), QStringLiteral("duration_ms"), QStringLiteral("unit"), QStringLiteral("operator"),
    QStringLiteral("id"), QStringLiteral("marks")};

const QStringList kCsvColumns = kTableColumns.mid(0, kTableColumns.size() - 1) + QStringList{
    QStringLiteral("ended_at"), QStringLiteral("failed_row"), QStringLiteral("first_try"), QStringLiteral("details"),
    QStringLiteral("simulated"), QStringLiteral("usb_path"), QStringLiteral("waiting"),
    QStringLiteral("def_sha256"), QStringLiteral("image_sha256"), QStringLiteral("image_version")};

QString cellText(const QJsonValue &v)
{
    if (v.isNull() || v.isUndefined())
        return QString();
    if (v.isObject())
        return QString::fromUtf8(QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact));
    if (v.isBool())
        return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    return v.toVariant().toString();
}

QString csvField(const QString &s)
{
    if (!s.contains(QLatin1Char(',')) && !s.contains(QLatin1Char('"')) && !s.contains(QLatin1Char('\n')))
        return s;
    QString quoted = s;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

bool listRuns(QSqlDatabase &db, const RecordFilter &filter, QList<QJsonObject> *runs, QString *error)
{
    QVariantList binds;
    const QString where = filter.whereClause(&binds);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    bool ok = q.prepare(QStringLiteral("SELECT %1%2 FROM runs%3 ORDER BY started_at, id")
                            .arg(QLatin1String(kRunColumns), filter.withWaiting ? QStringLiteral(", waiting") : QString(), where));
    for (const QVariant &v : std::as_const(binds))
        q.addBindValue(v);
    if (!ok || !q.exec()) {
        *error = describeSqlError(db, q.lastError());
        return false;
    }
    while (q.next()) {
        QJsonObject run = runFromQuery(q);
        // Not yet in results.db (in results-spool/): always said, false elsewhere.
        if (!run.contains(QLatin1String("waiting")))
            run.insert(QStringLiteral("waiting"), false);
        runs->append(run);
    }
    return true;
}

QJsonObject runFromQuery(const QSqlQuery &q)
{
    const QSqlRecord columns = q.record();
    QJsonObject run;
    for (int i = 0; i < columns.count(); ++i) {
        const QString name = columns.fieldName(i);
        const QVariant value = q.value(i);
        if (value.isNull())
            run.insert(name, QJsonValue());
        else if (name == QLatin1String("details"))
            run.insert(name, QJsonDocument::fromJson(value.toString().toUtf8()).object());
        else if (name == QLatin1String("first_try") || name == QLatin1String("simulated")
                 || name == QLatin1String("waiting"))
            run.insert(name, value.toInt() != 0);
        else if (name == QLatin1String("duration_ms") || name == QLatin1String("failed_row")
                 || name == QLatin1String("seq"))
            run.insert(name, value.toLongLong());
        else
            run.insert(name, value.toString());
    }
    return run;
}

QString runsAsTable(const QList<QJsonObject> &runs)
{
    QList<QStringList> rows;
    for (const QJsonObject &run : runs) {
        QStringList row;
        for (const QString &c : kTableColumns)
            row << cellText(run.value(c));
        // Marked where the eye falls, so a simulated run is never taken for
        // production, nor a run still in the spool for one in results.db.
        QStringList marks;
        if (run.value(QStringLiteral("simulated")).toBool())
            marks << QStringLiteral("SIMULATED");
        if (run.value(QStringLiteral("waiting")).toBool())
            marks << QStringLiteral("WAITING");
        row.last() = marks.join(QLatin1Char(' '));
        rows << row;
    }
    return textTable(kTableColumns, rows) + QStringLiteral("%1 run(s)\n").arg(runs.size());
}

QString runsAsCsv(const QList<QJsonObject> &runs)
{
    QString out = kCsvColumns.join(QLatin1Char(',')) + QLatin1Char('\n');
    for (const QJsonObject &run : runs) {
        QStringList fields;
        for (const QString &c : kCsvColumns)
            fields << csvField(cellText(run.value(c)));
        out += fields.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return out;
}

QString runsAsJsonLines(const QList<QJsonObject> &runs)
{
    QString out;
    for (const QJsonObject &run : runs)
        out += jsonLine(run);
    return out;
}

#include "recordfilter.h"

#include "runrecord.h"

#include <QDateTime>
#include <QStringList>

QString RecordFilter::whereClause(QVariantList *binds) const
{
    QStringList terms;
    const auto add = [&](const QString &term, const QString &value) {
        if (value.isEmpty())
            return;
        terms << term;
        binds->append(value);
    };
    add(QStringLiteral("started_at >= ?"), since);
    add(QStringLiteral("started_at < ?"), until);
    add(QStringLiteral("station = ?"), station);
    add(QStringLiteral("program = ?"), program);
    add(QStringLiteral("outcome = ?"), outcome);
    return terms.isEmpty() ? QString() : QStringLiteral(" WHERE ") + terms.join(QStringLiteral(" AND "));
}

bool parseTimeBound(const QString &text, bool isUntil, QString *iso)
{
    const QDate date = QDate::fromString(text, Qt::ISODate);
    if (date.isValid() && text.size() == 10) {
        *iso = isoUtc(QDateTime(isUntil ? date.addDays(1) : date, QTime(0, 0), Qt::UTC));
        return true;
    }
    QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!time.isValid())
        return false;
    if (time.timeSpec() == Qt::LocalTime)
        time.setTimeSpec(Qt::UTC);
    *iso = isoUtc(time);
    return true;
}

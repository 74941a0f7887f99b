#include "recordfilter.h"

#include "runrecord.h"

#include <QDateTime>
#include <QStringList>

namespace {

class Terms {
public:
    explicit Terms(QVariantList *binds) : binds(binds) {}
    void add(const QString &term, const QString &value)
    {
        if (value.isEmpty())
            return;
        terms << term;
        binds->append(value);
    }
    void add(const QString &term) { terms << term; }
    QString clause() const
    {
        return terms.isEmpty() ? QString() : QStringLiteral(" WHERE ") + terms.join(QStringLiteral(" AND "));
    }

private:
    QVariantList *binds;
    QStringList terms;
};

} // namespace

QString RecordFilter::whereClause(QVariantList *binds) const
{
    Terms terms(binds);
    terms.add(QStringLiteral("started_at >= ?"), since);
    terms.add(QStringLiteral("started_at < ?"), until);
    terms.add(QStringLiteral("station = ?"), station);
    terms.add(QStringLiteral("program = ?"), program);
    terms.add(QStringLiteral("outcome = ?"), outcome);
    terms.add(QStringLiteral("unit = ?"), unit);
    terms.add(QStringLiteral("image_version = ?"), imageVersion);
    if (!includeSimulated)
        terms.add(QStringLiteral("simulated = 0"));
    return terms.clause();
}

QString RecordFilter::daysClause(QVariantList *binds) const
{
    Terms terms(binds);
    // ISO times begin with their day: from the start of since's day to the
    // end of until's (by start time, so that the index on it serves).
    const auto dayStart = [](const QString &bound, int days) {
        const QDate day = QDate::fromString(bound.left(10), Qt::ISODate).addDays(days);
        return bound.isEmpty() ? QString() : isoUtc(QDateTime(day, QTime(0, 0), Qt::UTC));
    };
    terms.add(QStringLiteral("started_at >= ?"), dayStart(since, 0));
    terms.add(QStringLiteral("started_at < ?"), dayStart(until, 1));
    terms.add(QStringLiteral("station = ?"), station);
    terms.add(QStringLiteral("program = ?"), program);
    if (!includeSimulated)
        terms.add(QStringLiteral("simulated = 0"));
    return terms.clause();
}

QString RecordFilter::dayCountsClause(QVariantList *binds) const
{
    Terms terms(binds);
    // Bounds at midnight: until is the start of the day after the last.
    terms.add(QStringLiteral("day >= ?"), since.left(10));
    terms.add(QStringLiteral("day < ?"), until.left(10));
    terms.add(QStringLiteral("station = ?"), station);
    terms.add(QStringLiteral("program = ?"), program);
    if (!includeSimulated)
        terms.add(QStringLiteral("simulated = 0"));
    return terms.clause();
}

bool RecordFilter::takesWholeDays() const
{
    const auto midnight = [](const QString &bound) { return bound.isEmpty() || bound.mid(10) == QLatin1String("T00:00:00.000Z"); };
    return midnight(since) && midnight(until) && imageVersion.isEmpty();
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

#include "viewfilter.h"

namespace {

constexpr int kMaxNameLength = 200;

bool plainName(const QueryParameters &parameters, const QString &name, QString *value, QString *error)
{
    *value = parameters.value(name);
    if (value->size() > kMaxNameLength || value->contains(QChar(0))) {
        *error = QStringLiteral("%1: at most %2 characters, none of them NUL").arg(name).arg(kMaxNameLength);
        return false;
    }
    return true;
}

bool timeBound(const QueryParameters &parameters, const QString &name, bool isUntil, QString *iso, QString *error)
{
    const QString text = parameters.value(name);
    if (text.isEmpty())
        return true;
    if (text.size() > 40 || !parseTimeBound(text, isUntil, iso)) {
        *error = QStringLiteral("%1: a day (yyyy-MM-dd) or an ISO 8601 time").arg(name);
        return false;
    }
    return true;
}

} // namespace

bool parseViewFilter(const QueryParameters &parameters, RecordFilter *filter, QString *error)
{
    *filter = RecordFilter();
    if (!timeBound(parameters, QStringLiteral("from"), false, &filter->since, error)
        || !timeBound(parameters, QStringLiteral("to"), true, &filter->until, error)
        || !plainName(parameters, QStringLiteral("station"), &filter->station, error)
        || !plainName(parameters, QStringLiteral("program"), &filter->program, error)
        || !plainName(parameters, QStringLiteral("image"), &filter->imageVersion, error))
        return false;
    const QString simulated = parameters.value(QStringLiteral("simulated"), QStringLiteral("0"));
    if (simulated != QLatin1String("0") && simulated != QLatin1String("1")) {
        *error = QStringLiteral("simulated: 0 or 1");
        return false;
    }
    filter->includeSimulated = simulated == QLatin1String("1");
    return true;
}

bool runPassesFilter(const RecordFilter &filter, const QJsonObject &run)
{
    const auto text = [&run](const char *name) { return run.value(QLatin1String(name)).toString(); };
    const auto matches = [](const QString &wanted, const QString &value) { return wanted.isEmpty() || wanted == value; };
    const QString started = text("started_at");
    return matches(filter.station, text("station")) && matches(filter.program, text("program"))
           && matches(filter.imageVersion, text("image_version")) && matches(filter.unit, text("unit"))
           && matches(filter.outcome, text("outcome"))
           && (filter.includeSimulated || !run.value(QLatin1String("simulated")).toBool())
           && (filter.since.isEmpty() || started >= filter.since) && (filter.until.isEmpty() || started < filter.until);
}

bool integerParameter(const QueryParameters &parameters, const QString &name, qint64 low, qint64 high,
                      qint64 fallback, qint64 *value, QString *error)
{
    if (!parameters.contains(name)) {
        *value = fallback;
        return true;
    }
    bool ok = false;
    *value = parameters.value(name).toLongLong(&ok);
    if (!ok || *value < low || *value > high) {
        *error = QStringLiteral("%1: a whole number from %2 to %3").arg(name).arg(low).arg(high);
        return false;
    }
    return true;
}

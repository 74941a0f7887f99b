#include "lineapi.h"

#include "linestatus.h"
#include "runlisting.h"
#include "runrecord.h"
#include "sqlerrors.h"
#include "unithistory.h"
#include "yieldreport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>
#include <QSqlError>
#include <QSqlQuery>

const char *const kApiRunColumns =
    "seq, id, program, station, operator, started_at, ended_at, duration_ms, outcome, failed_step, unit,"
    " first_try, simulated, usb_path, def_sha256, image_sha256, image_version";

namespace {

constexpr int kDefaultDays = 7;          // yield, Pareto and locations without a from
constexpr int kParetoSteps = 20;
constexpr qint64 kCsvMaxRuns = 200000;
constexpr int kImageListDays = 30;

bool select(QSqlDatabase &db, QSqlQuery &q, const QString &sql, const QVariantList &binds, QString *error)
{
    q.setForwardOnly(true);
    bool ok = q.prepare(sql);
    for (const QVariant &v : binds)
        q.addBindValue(v);
    ok = ok && q.exec();
    if (!ok)
        *error = describeSqlError(db, q.lastError());
    return ok;
}

QJsonValue share(qint64 part, qint64 whole)
{
    return whole ? QJsonValue(double(part) / double(whole)) : QJsonValue();
}

QJsonValue textOrNull(const QString &s)
{
    return s.isEmpty() ? QJsonValue() : QJsonValue(s);
}

QJsonObject counts(const YieldRow &r)
{
    return {{QStringLiteral("runs"), r.runs}, {QStringLiteral("units"), r.units},
            {QStringLiteral("first_pass"), r.firstPass}, {QStringLiteral("first_pass_yield"), share(r.firstPass, r.units)}};
}

// Filter terms appended to a clause that already has its WHERE.
QString andTerms(const RecordFilter &filter, QVariantList *binds)
{
    const QString where = filter.whereClause(binds);
    return where.isEmpty() ? QString() : QStringLiteral(" AND ") + where.mid(QStringLiteral(" WHERE ").size());
}

QString utcDayStart(const QDate &day)
{
    return isoUtc(QDateTime(day, QTime(0, 0), Qt::UTC));
}

// The shift running at now: from the latest start at or before it (local
// time) to the next start.
QPair<QDateTime, QDateTime> currentShift(const QList<QTime> &starts, const QDateTime &now)
{
    const QDateTime local = now.toLocalTime();
    QDateTime from, to;
    for (int dayOffset = -1; dayOffset <= 1 && !to.isValid(); ++dayOffset) {
        for (const QTime &t : starts) {
            const QDateTime start(local.date().addDays(dayOffset), t, Qt::LocalTime);
            if (start <= local)
                from = start;
            else if (from.isValid()) {
                to = start;
                break;
            }
        }
    }
    return {from.toUTC(), to.toUTC()};
}

QHash<QString, YieldRow> yieldByCard(QSqlDatabase &db, RecordFilter filter, const QString &since,
                                     const QString &until, QString *error, bool *ok)
{
    filter.since = since;
    filter.until = until;
    YieldReport report;
    QHash<QString, YieldRow> byCard;
    *ok = report.compute(db, filter, error);
    for (const YieldRow &r : std::as_const(report.rows)) {
        YieldRow &sum = byCard[r.station + QLatin1Char('\n') + r.program];
        sum.runs += r.runs;
        sum.units += r.units;
        sum.firstPass += r.firstPass;
    }
    return byCard;
}

} // namespace

ApiAnswer ApiAnswer::json(const QJsonObject &object)
{
    ApiAnswer a;
    a.body = QJsonDocument(object).toJson(QJsonDocument::Compact);
    return a;
}

ApiAnswer ApiAnswer::error(int status, const QString &message)
{
    ApiAnswer a = json({{QStringLiteral("error"), message}});
    a.status = status;
    return a;
}

LineApi::LineApi(const RecordSource &source, const ViewOptions &options) : source(source), options(options) {}

ApiAnswer LineApi::withDatabase(const std::function<ApiAnswer(QSqlDatabase &, QString *)> &body) const
{
    QString error;
    ApiAnswer answer;
    {
        QSqlDatabase db = source.database(&error);
        if (!db.isOpen())
            return ApiAnswer::error(503, error);
        answer = body(db, &error);
    }
    if (answer.status == 503 && answer.body.isEmpty()) {
        qWarning("lineview: %s", qPrintable(error));
        source.forgetConnection();
        return ApiAnswer::error(503, error);
    }
    return answer;
}

ApiAnswer LineApi::withFilter(const QueryParameters &parameters, bool defaultRange,
                              const std::function<ApiAnswer(QSqlDatabase &, const RecordFilter &, QString *)> &body) const
{
    RecordFilter filter;
    QString error;
    if (!parseViewFilter(parameters, &filter, &error))
        return ApiAnswer::error(400, error);
    if (defaultRange && filter.since.isEmpty())
        filter.since = utcDayStart(now().date().addDays(1 - kDefaultDays));
    return withDatabase([&](QSqlDatabase &db, QString *e) { return body(db, filter, e); });
}

static ApiAnswer failed()
{
    ApiAnswer a;
    a.status = 503; // body filled by withDatabase from the error
    return a;
}

ApiAnswer LineApi::filters() const
{
    return withDatabase([this](QSqlDatabase &db, QString *error) {
        // Small tables where the server keeps them: a distinct over every run is slow.
        const bool line = source.hasLineTables(db);
        const QString recent = utcDayStart(now().date().addDays(-kImageListDays));
        const struct {
            const char *key;
            QString sql;
            QVariantList binds;
        } lists[] = {
            {"stations", line ? QStringLiteral("SELECT station FROM stations UNION SELECT station FROM day_counts ORDER BY 1")
                              : QStringLiteral("SELECT DISTINCT station FROM runs ORDER BY 1"), {}},
            {"programs", line ? QStringLiteral("SELECT program FROM stations UNION SELECT program FROM day_counts ORDER BY 1")
                              : QStringLiteral("SELECT DISTINCT program FROM runs ORDER BY 1"), {}},
            {"images", QStringLiteral("SELECT DISTINCT image_version FROM runs WHERE started_at >= ?"
                                      " AND image_version IS NOT NULL ORDER BY 1"), {recent}},
        };
        QJsonObject answer;
        for (const auto &list : lists) {
            QSqlQuery q(db);
            if (!select(db, q, list.sql, list.binds, error))
                return failed();
            QJsonArray values;
            while (q.next())
                values << q.value(0).toString();
            answer.insert(QLatin1String(list.key), values);
        }
        return ApiAnswer::json(answer);
    });
}

ApiAnswer LineApi::stations(const QueryParameters &parameters) const
{
    return withFilter(parameters, false, [this](QSqlDatabase &db, const RecordFilter &filter, QString *error) {
        const QDateTime at = now();
        const QDate today = at.date();
        const auto shift = currentShift(options.shiftStarts, at);
        const bool line = source.hasLineTables(db);

        // The cards: the stations that report themselves, or on a
        // results.db the stations its runs name.
        QList<LineStation> cards;
        if (line) {
            LineStatus status;
            if (!status.read(db, error))
                return failed();
            for (const LineStation &s : std::as_const(status.stations))
                if ((filter.station.isEmpty() || s.station == filter.station)
                    && (filter.program.isEmpty() || s.program == filter.program))
                    cards << s;
        } else {
            QVariantList binds;
            QSqlQuery q(db);
            if (!select(db, q, QStringLiteral("SELECT station, program, MAX(ended_at) FROM runs%1"
                                              " GROUP BY station, program ORDER BY station, program")
                                   .arg(filter.whereClause(&binds)), binds, error))
                return failed();
            while (q.next()) {
                LineStation s;
                s.station = q.value(0).toString();
                s.program = q.value(1).toString();
                s.lastSeen = q.value(2).toString();
                cards << s;
            }
        }

        bool ok = true;
        const auto day = yieldByCard(db, filter, utcDayStart(today), utcDayStart(today.addDays(1)), error, &ok);
        const auto inShift = ok ? yieldByCard(db, filter, isoUtc(shift.first), isoUtc(shift.second), error, &ok)
                                : QHash<QString, YieldRow>();
        if (!ok)
            return failed();

        RecordFilter lastHour = filter;
        lastHour.since = isoUtc(at.addSecs(-3600));
        lastHour.until.clear();
        QVariantList binds;
        QSqlQuery q(db);
        if (!select(db, q, QStringLiteral("SELECT station, program, COUNT(*) FROM runs%1 GROUP BY station, program")
                               .arg(lastHour.whereClause(&binds)), binds, error))
            return failed();
        QHash<QString, qint64> perHour;
        while (q.next())
            perHour.insert(q.value(0).toString() + QLatin1Char('\n') + q.value(1).toString(), q.value(2).toLongLong());

        QJsonArray list;
        for (const LineStation &s : std::as_const(cards)) {
            const QString key = s.station + QLatin1Char('\n') + s.program;
            // The latest run, by day first: the (station, day) index finds
            // it among millions, where the index on times would pass them all.
            RecordFilter own;
            own.station = s.station;
            own.program = s.program;
            own.includeSimulated = filter.includeSimulated;
            QVariantList lastBinds;
            QSqlQuery last(db);
            if (!select(db, last, QStringLiteral("SELECT seq, outcome, ended_at, unit, failed_step FROM runs%1"
                                                 " ORDER BY day DESC, started_at DESC, seq DESC LIMIT 1")
                                      .arg(own.whereClause(&lastBinds)),
                        lastBinds, error))
                return failed();
            QJsonValue lastRun;
            if (last.next())
                lastRun = QJsonObject{{QStringLiteral("seq"), last.value(0).toLongLong()},
                                      {QStringLiteral("outcome"), last.value(1).toString()},
                                      {QStringLiteral("ended_at"), last.value(2).toString()},
                                      {QStringLiteral("unit"), textOrNull(last.value(3).toString())},
                                      {QStringLiteral("failed_step"), textOrNull(last.value(4).toString())}};
            list << QJsonObject{
                {QStringLiteral("station"), s.station},
                {QStringLiteral("program"), s.program},
                {QStringLiteral("version"), textOrNull(s.version)},
                {QStringLiteral("host"), textOrNull(s.host)},
                {QStringLiteral("online"), line ? QJsonValue(s.online) : QJsonValue()},
                {QStringLiteral("last_seen"), textOrNull(s.lastSeen)},
                {QStringLiteral("waiting"), line ? QJsonValue(s.waiting) : QJsonValue()},
                {QStringLiteral("def_sha256"), textOrNull(s.defSha256)},
                {QStringLiteral("image_sha256"), textOrNull(s.imageSha256)},
                {QStringLiteral("image_version"), textOrNull(s.imageVersion)},
                {QStringLiteral("matches_line"), s.flags.isEmpty()},
                {QStringLiteral("flags"), QJsonArray::fromStringList(s.flags)},
                {QStringLiteral("shift"), counts(inShift.value(key))},
                {QStringLiteral("day"), counts(day.value(key))},
                {QStringLiteral("runs_last_hour"), perHour.value(key)},
                {QStringLiteral("last"), lastRun}};
        }
        return ApiAnswer::json({{QStringLiteral("now"), isoUtc(at)},
                                {QStringLiteral("target"), options.target},
                                {QStringLiteral("source"), line ? QStringLiteral("line") : QStringLiteral("station")},
                                {QStringLiteral("shift"), QJsonObject{{QStringLiteral("from"), isoUtc(shift.first)},
                                                                      {QStringLiteral("to"), isoUtc(shift.second)}}},
                                {QStringLiteral("day"), today.toString(Qt::ISODate)},
                                {QStringLiteral("stations"), list}});
    });
}

ApiAnswer LineApi::yield(const QueryParameters &parameters) const
{
    const QString by = parameters.value(QStringLiteral("by"), QStringLiteral("day"));
    if (by != QLatin1String("day") && by != QLatin1String("hour"))
        return ApiAnswer::error(400, QStringLiteral("by: day or hour"));
    // An ISO time's first 10 characters are its day, 13 its hour.
    const int bucketLength = by == QLatin1String("day") ? 10 : 13;
    return withFilter(parameters, true, [&](QSqlDatabase &db, const RecordFilter &filter, QString *error) {
        // A unit counts in the bucket of its first try at the station that
        // day; it passed first time when that run passed, and finally when
        // its last run there that day (within the range) passed.
        QVariantList binds;
        QSqlQuery q(db);
        const QString sql = QStringLiteral(
            "SELECT bucket, station, program, COUNT(*), SUM(first_try),"
            " SUM(CASE WHEN first_try = 1 AND outcome = 'pass' THEN 1 ELSE 0 END),"
            " SUM(CASE WHEN first_try = 1 AND last_outcome = 'pass' THEN 1 ELSE 0 END)"
            " FROM (SELECT substr(started_at, 1, %1) AS bucket, station, program, outcome, first_try,"
            "  FIRST_VALUE(outcome) OVER (PARTITION BY station, program, day, COALESCE(unit, id)"
            "   ORDER BY started_at DESC, id DESC) AS last_outcome FROM runs%2) AS r"
            " GROUP BY bucket, station, program ORDER BY bucket, station, program")
                                .arg(bucketLength).arg(filter.whereClause(&binds));
        if (!select(db, q, sql, binds, error))
            return failed();
        QJsonArray rows;
        struct Sums { qint64 burnUnits = 0, burnFirst = 0, testUnits = 0, testFirst = 0; };
        QMap<QString, Sums> perBucket;
        while (q.next()) {
            const QString bucket = q.value(0).toString(), program = q.value(2).toString();
            const qint64 units = q.value(4).toLongLong(), first = q.value(5).toLongLong(), final = q.value(6).toLongLong();
            rows << QJsonObject{{QStringLiteral("bucket"), bucket}, {QStringLiteral("station"), q.value(1).toString()},
                                {QStringLiteral("program"), program}, {QStringLiteral("runs"), q.value(3).toLongLong()},
                                {QStringLiteral("units"), units}, {QStringLiteral("first_pass"), first},
                                {QStringLiteral("final_pass"), final},
                                {QStringLiteral("first_pass_yield"), share(first, units)},
                                {QStringLiteral("final_yield"), share(final, units)}};
            Sums &s = perBucket[bucket];
            if (program == QLatin1String("burner")) {
                s.burnUnits += units;
                s.burnFirst += first;
            } else if (program == QLatin1String("tester")) {
                s.testUnits += units;
                s.testFirst += first;
            }
        }
        QJsonArray rty;
        for (auto it = perBucket.cbegin(); it != perBucket.cend(); ++it) {
            const QJsonValue burn = share(it->burnFirst, it->burnUnits), test = share(it->testFirst, it->testUnits);
            const QJsonValue rolled = burn.isNull() ? test : test.isNull() ? burn : QJsonValue(burn.toDouble() * test.toDouble());
            rty << QJsonObject{{QStringLiteral("bucket"), it.key()}, {QStringLiteral("burn_yield"), burn},
                               {QStringLiteral("test_yield"), test}, {QStringLiteral("rolled_yield"), rolled}};
        }
        return ApiAnswer::json({{QStringLiteral("by"), by}, {QStringLiteral("rows"), rows}, {QStringLiteral("rty"), rty}});
    });
}

ApiAnswer LineApi::pareto(const QueryParameters &parameters) const
{
    return withFilter(parameters, true, [this](QSqlDatabase &db, const RecordFilter &filter, QString *error) {
        QVariantList binds;
        QString sql;
        // The server counts failures per day as runs arrive.
        if (filter.takesWholeDays() && source.hasLineTables(db)) {
            sql = QStringLiteral("SELECT program, failed_step, SUM(failures) AS n FROM day_failures%1"
                                 " GROUP BY program, failed_step HAVING SUM(failures) > 0 ORDER BY program, n DESC, failed_step")
                      .arg(filter.dayCountsClause(&binds));
        } else {
            RecordFilter failures = filter;
            failures.outcome = QStringLiteral("fail");
            sql = QStringLiteral("SELECT program, failed_step, COUNT(*) AS n FROM runs%1 AND failed_step IS NOT NULL"
                                 " GROUP BY program, failed_step ORDER BY program, n DESC, failed_step")
                      .arg(failures.whereClause(&binds));
        }
        QSqlQuery q(db);
        if (!select(db, q, sql, binds, error))
            return failed();
        QMap<QString, QJsonArray> steps;
        while (q.next()) {
            QJsonArray &list = steps[q.value(0).toString()];
            if (list.size() < kParetoSteps)
                list << QJsonObject{{QStringLiteral("step"), q.value(1).toString()},
                                    {QStringLiteral("failures"), q.value(2).toLongLong()}};
        }
        QJsonArray programs;
        for (auto it = steps.cbegin(); it != steps.cend(); ++it)
            programs << QJsonObject{{QStringLiteral("program"), it.key()}, {QStringLiteral("steps"), it.value()}};
        return ApiAnswer::json({{QStringLiteral("programs"), programs}});
    });
}

ApiAnswer LineApi::locations(const QueryParameters &parameters) const
{
    return withFilter(parameters, true, [this](QSqlDatabase &db, const RecordFilter &filter, QString *error) {
        QVariantList binds;
        QSqlQuery q(db);
        if (!select(db, q, QStringLiteral("SELECT station, COALESCE(usb_path, ''), COUNT(*), SUM(first_try),"
                                          " SUM(CASE WHEN first_try = 1 AND outcome = 'pass' THEN 1 ELSE 0 END)"
                                          " FROM runs%1 GROUP BY station, COALESCE(usb_path, '') ORDER BY 1, 2")
                               .arg(filter.whereClause(&binds)), binds, error))
            return failed();
        QJsonArray rows;
        while (q.next()) {
            const qint64 units = q.value(3).toLongLong(), first = q.value(4).toLongLong();
            rows << QJsonObject{{QStringLiteral("station"), q.value(0).toString()},
                                {QStringLiteral("usb_path"), q.value(1).toString()},
                                {QStringLiteral("runs"), q.value(2).toLongLong()}, {QStringLiteral("units"), units},
                                {QStringLiteral("first_pass"), first},
                                {QStringLiteral("first_pass_yield"), share(first, units)}};
        }
        return ApiAnswer::json({{QStringLiteral("target"), options.target}, {QStringLiteral("rows"), rows}});
    });
}

bool LineApi::runsAfter(qint64 seq, const RecordFilter &filter, int limit, QList<QJsonObject> *runs, QString *error,
                        const std::set<qint64> &seen) const
{
    // Our own integers, not a client's text: written into the statement.
    QStringList known;
    for (qint64 s : seen)
        if (s > seq)
            known << QString::number(s);
    const QString unseen = known.isEmpty() ? QString() : QStringLiteral(" AND seq NOT IN (%1)").arg(known.join(u','));
    bool ok = false;
    {
        QSqlDatabase db = source.database(error);
        if (!db.isOpen())
            return false;
        QVariantList binds{seq};
        QSqlQuery q(db);
        ok = select(db, q, QStringLiteral("SELECT %1 FROM runs WHERE seq > ?%2%3 ORDER BY seq LIMIT %4")
                               .arg(QLatin1String(kApiRunColumns), unseen, andTerms(filter, &binds)).arg(limit),
                    binds, error);
        while (ok && q.next())
            runs->append(runFromQuery(q));
    }
    if (!ok)
        source.forgetConnection();
    return ok;
}

ApiAnswer LineApi::runs(const QueryParameters &parameters) const
{
    QString error;
    qint64 after = 0, before = 0, limit = 0;
    if (!integerParameter(parameters, QStringLiteral("after"), 0, std::numeric_limits<qint64>::max(), -1, &after, &error)
        || !integerParameter(parameters, QStringLiteral("before"), 1, std::numeric_limits<qint64>::max(), -1, &before, &error)
        || !integerParameter(parameters, QStringLiteral("limit"), 1, 1000, 100, &limit, &error))
        return ApiAnswer::error(400, error);
    return withFilter(parameters, false, [&](QSqlDatabase &db, const RecordFilter &filter, QString *e) {
        QVariantList binds;
        QString sql;
        if (after >= 0) {
            binds << after;
            sql = QStringLiteral("SELECT %1 FROM runs WHERE seq > ?%2 ORDER BY seq LIMIT %3");
        } else {
            if (before > 0)
                binds << before;
            sql = QStringLiteral("SELECT %1 FROM runs WHERE %4%2 ORDER BY seq DESC LIMIT %3");
        }
        sql = sql.arg(QLatin1String(kApiRunColumns), andTerms(filter, &binds)).arg(limit);
        if (after < 0)
            sql = sql.arg(before > 0 ? QStringLiteral("seq < ?") : QStringLiteral("1 = 1"));
        QSqlQuery q(db);
        if (!select(db, q, sql, binds, e))
            return failed();
        QJsonArray list;
        while (q.next())
            list << runFromQuery(q);
        return ApiAnswer::json({{QStringLiteral("runs"), list}});
    });
}

ApiAnswer LineApi::runsCsv(const QueryParameters &parameters) const
{
    return withFilter(parameters, false, [](QSqlDatabase &db, const RecordFilter &filter, QString *error) {
        QVariantList binds;
        QSqlQuery q(db);
        if (!select(db, q, QStringLiteral("SELECT COUNT(*) FROM runs%1").arg(filter.whereClause(&binds)), binds, error)
            || !q.next())
            return failed();
        if (q.value(0).toLongLong() > kCsvMaxRuns)
            return ApiAnswer::error(413, QStringLiteral("%1 runs: narrow the filter to at most %2")
                                             .arg(q.value(0).toLongLong()).arg(kCsvMaxRuns));
        QList<QJsonObject> runs;
        if (!listRuns(db, filter, &runs, error))
            return failed();
        ApiAnswer answer;
        answer.body = runsAsCsv(runs).toUtf8();
        answer.contentType = "text/csv; charset=utf-8";
        return answer;
    });
}

ApiAnswer LineApi::unit(const QueryParameters &parameters) const
{
    const QString address = parameters.value(QStringLiteral("address"));
    if (!isBluetoothAddress(address))
        return ApiAnswer::error(400, QStringLiteral("address: a Bluetooth address such as aa:bb:cc:dd:ee:ff"));
    QString error;
    qint64 maxRetries = 0;
    if (!integerParameter(parameters, QStringLiteral("max_retries"), 1, 1000, 3, &maxRetries, &error))
        return ApiAnswer::error(400, error);
    return withDatabase([&](QSqlDatabase &db, QString *e) {
        UnitHistory history;
        if (!history.read(db, address, int(maxRetries), e))
            return failed();
        QVariantList binds{history.unit};
        QSqlQuery q(db);
        if (!select(db, q, QStringLiteral("SELECT %1 FROM runs WHERE unit = ? ORDER BY started_at, id")
                               .arg(QLatin1String(kApiRunColumns)), binds, e))
            return failed();
        QJsonArray list;
        while (q.next())
            list << runFromQuery(q);
        return ApiAnswer::json({{QStringLiteral("unit"), history.unit}, {QStringLiteral("runs"), list},
                                {QStringLiteral("flags"), QJsonArray::fromStringList(history.flags)}});
    });
}

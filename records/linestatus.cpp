#include "linestatus.h"

#include "sqlerrors.h"
#include "texttable.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>

namespace {

// Seen within this long, by the server's clock: reports come at least once a minute.
constexpr int kOnlineSeconds = 120;
constexpr int kShortSha = 12;

// The value most stations of a program use; empty when two tie for it.
QString mostCommon(const QList<LineStation> &stations, const QString &program,
                   QString LineStation::*field)
{
    QHash<QString, int> counts;
    for (const LineStation &s : stations)
        if (s.program == program && !(s.*field).isEmpty())
            ++counts[s.*field];
    QString best;
    int bestCount = 0;
    bool tie = false;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > bestCount) {
            best = it.key();
            bestCount = it.value();
            tie = false;
        } else if (it.value() == bestCount) {
            tie = true;
        }
    }
    return tie ? QString() : best;
}

void flagDifferences(QList<LineStation> &stations)
{
    const struct {
        const char *what;
        QString LineStation::*field;
    } compared[] = {{"def.xml", &LineStation::defSha256}, {"image", &LineStation::imageSha256}};
    for (const auto &c : compared) {
        QHash<QString, QString> common; // by program
        for (const LineStation &s : std::as_const(stations))
            if (!common.contains(s.program))
                common.insert(s.program, mostCommon(stations, s.program, c.field));
        for (LineStation &s : stations) {
            const QString value = s.*c.field;
            const QString line = common.value(s.program);
            if (value.isEmpty() || value == line)
                continue;
            s.flags << (line.isEmpty() ? QStringLiteral("%1 differs: no one %1 is used by most %2 stations")
                                             .arg(QLatin1String(c.what), s.program)
                                       : QStringLiteral("%1 differs from the %2 stations' %3")
                                             .arg(QLatin1String(c.what), s.program, line.left(kShortSha)));
        }
    }
}

QString percentOrDash(const YieldRow &r)
{
    return r.units ? QString::number(r.firstPassYield() * 100.0, 'f', 1) + QLatin1Char('%') : QStringLiteral("-");
}

QJsonValue textOrNull(const QString &s)
{
    return s.isEmpty() ? QJsonValue() : QJsonValue(s);
}

} // namespace

bool LineStatus::read(QSqlDatabase &db, QString *error)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    const bool ok = q.exec(QStringLiteral(
        "SELECT s.station, s.program, s.version, s.host, s.def_sha256, s.image_sha256, s.image_version,"
        " s.waiting, to_char(s.last_seen AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"'),"
        " s.last_seen > now() - interval '%1 seconds',"
        " COALESCE(d.runs, 0), COALESCE(d.units, 0), COALESCE(d.first_pass, 0)"
        " FROM stations s LEFT JOIN day_counts d ON d.station = s.station AND d.program = s.program"
        " AND d.simulated = 0 AND d.day = to_char(now() AT TIME ZONE 'UTC', 'YYYY-MM-DD')"
        " ORDER BY s.station, s.program").arg(kOnlineSeconds));
    if (!ok) {
        *error = describeSqlError(db, q.lastError());
        return false;
    }
    stations.clear();
    while (q.next()) {
        LineStation s;
        s.station = q.value(0).toString();
        s.program = q.value(1).toString();
        s.version = q.value(2).toString();
        s.host = q.value(3).toString();
        s.defSha256 = q.value(4).toString();
        s.imageSha256 = q.value(5).toString();
        s.imageVersion = q.value(6).toString();
        s.waiting = q.value(7).toInt();
        s.lastSeen = q.value(8).toString();
        s.online = q.value(9).toBool();
        s.today.runs = q.value(10).toLongLong();
        s.today.units = q.value(11).toLongLong();
        s.today.firstPass = q.value(12).toLongLong();
        stations << s;
    }
    flagDifferences(stations);
    return true;
}

QString LineStatus::asText() const
{
    const QStringList header{QStringLiteral("station"), QStringLiteral("program"), QStringLiteral("online"),
                             QStringLiteral("last seen"), QStringLiteral("waiting"), QStringLiteral("runs today"),
                             QStringLiteral("FPY today"), QStringLiteral("version"), QStringLiteral("def.xml"),
                             QStringLiteral("image"), QStringLiteral("image version"), QStringLiteral("flags")};
    QList<QStringList> rows;
    for (const LineStation &s : stations)
        rows << QStringList{s.station, s.program, s.online ? QStringLiteral("yes") : QStringLiteral("NO"),
                            s.lastSeen, QString::number(s.waiting), QString::number(s.today.runs),
                            percentOrDash(s.today), s.version, s.defSha256.left(kShortSha),
                            s.imageSha256.left(kShortSha), s.imageVersion, s.flags.join(QStringLiteral("; "))};
    return textTable(header, rows) + QStringLiteral("%1 station(s)\n").arg(stations.size());
}

QString LineStatus::asJsonLines() const
{
    QString out;
    for (const LineStation &s : stations)
        out += jsonLine({{QStringLiteral("station"), s.station},
                         {QStringLiteral("program"), s.program},
                         {QStringLiteral("online"), s.online},
                         {QStringLiteral("last_seen"), s.lastSeen},
                         {QStringLiteral("waiting"), s.waiting},
                         {QStringLiteral("runs_today"), s.today.runs},
                         {QStringLiteral("units_today"), s.today.units},
                         {QStringLiteral("first_pass_today"), s.today.firstPass},
                         {QStringLiteral("first_pass_yield_today"),
                          s.today.units ? QJsonValue(s.today.firstPassYield()) : QJsonValue()},
                         {QStringLiteral("version"), s.version},
                         {QStringLiteral("host"), s.host},
                         {QStringLiteral("def_sha256"), textOrNull(s.defSha256)},
                         {QStringLiteral("image_sha256"), textOrNull(s.imageSha256)},
                         {QStringLiteral("image_version"), textOrNull(s.imageVersion)},
                         {QStringLiteral("flags"), QJsonArray::fromStringList(s.flags)}});
    return out;
}

bool readsOnlyItsOwn(QSqlDatabase &db)
{
    // pg_has_role fails for a role that does not exist: asked only of those that do.
    QSqlQuery q(db);
    return q.exec(QStringLiteral(
               "SELECT CASE WHEN NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'band_station') THEN false"
               " WHEN NOT pg_has_role('band_station', 'MEMBER') THEN false"
               " WHEN NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'band_viewer') THEN true"
               " ELSE NOT pg_has_role('band_viewer', 'MEMBER') END"))
        && q.next() && q.value(0).toBool();
}

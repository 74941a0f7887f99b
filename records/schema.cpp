#include "schema.h"

#include "linetables.h"
#include "runrecord.h"
#include "sqlerrors.h"

#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

const char *const kRunColumns =
    "id, program, station, operator, started_at, ended_at, day, duration_ms,"
    " outcome, failed_step, failed_row, unit, first_try, details, simulated, usb_path,"
    " def_sha256, image_sha256, image_version";

namespace {

QVariant textOrNull(const QString &s)
{
    return s.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(s);
}

bool isPostgres(const QSqlDatabase &db)
{
    return db.driverName() == QLatin1String("QPSQL");
}

// Times are ISO 8601 text in UTC on both sides, so one set of queries serves
// both and text order is time order. The indexes cover the yield query
// (station, day, program, outcome, first_try, started_at) and the listing
// by time.
QStringList createStatements(bool postgres)
{
    const QString seq = postgres ? QStringLiteral("seq BIGSERIAL PRIMARY KEY")
                                 : QStringLiteral("seq INTEGER PRIMARY KEY AUTOINCREMENT");
    QStringList s{
        QStringLiteral("CREATE TABLE IF NOT EXISTS runs ("
                       "%1, id TEXT NOT NULL UNIQUE, program TEXT NOT NULL, station TEXT NOT NULL,"
                       " operator TEXT NOT NULL, started_at TEXT NOT NULL, ended_at TEXT NOT NULL,"
                       " day TEXT NOT NULL, duration_ms BIGINT NOT NULL,"
                       " outcome TEXT NOT NULL CHECK (outcome IN ('pass', 'fail', 'interrupted')),"
                       " failed_step TEXT, failed_row INTEGER, unit TEXT, first_try INTEGER NOT NULL,"
                       " details TEXT NOT NULL, simulated INTEGER NOT NULL DEFAULT 0, usb_path TEXT,"
                       " def_sha256 TEXT, image_sha256 TEXT, image_version TEXT)").arg(seq),
        QStringLiteral("CREATE INDEX IF NOT EXISTS runs_yield ON runs (station, day, program, outcome, first_try, started_at)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS runs_started ON runs (started_at)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS runs_failures ON runs (outcome, program, failed_step)"),
        // A band's runs of a day: whether a run was its first there.
        QStringLiteral("CREATE INDEX IF NOT EXISTS runs_unit ON runs (unit, station, program, day)"),
    };
    if (postgres) {
        s << QStringLiteral("CREATE TABLE IF NOT EXISTS schema_info (version INTEGER NOT NULL)");
        s << QStringLiteral("INSERT INTO schema_info (version) SELECT %1"
                            " WHERE NOT EXISTS (SELECT 1 FROM schema_info)").arg(kSchemaVersion);
        s << lineStatements();
    } else {
        // Records waiting for the shared server, oldest first.
        s << QStringLiteral("CREATE TABLE IF NOT EXISTS outbox (seq INTEGER PRIMARY KEY)");
        s << QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion);
    }
    return s;
}

// From version 1 to 2, keeping every run: the simulated flag (old runs were
// not marked), and locally every run queued, since version 1 queued a run
// only while a server was named; a run the server has already is ignored there.
QStringList upgradeFrom1(bool postgres)
{
    if (postgres)
        return {QStringLiteral("ALTER TABLE runs ADD COLUMN IF NOT EXISTS simulated INTEGER NOT NULL DEFAULT 0"),
                QStringLiteral("CREATE INDEX IF NOT EXISTS runs_unit ON runs (unit, station, program, day)"),
                QStringLiteral("UPDATE schema_info SET version = 2")};
    return {QStringLiteral("ALTER TABLE runs ADD COLUMN simulated INTEGER NOT NULL DEFAULT 0"),
            QStringLiteral("INSERT OR IGNORE INTO outbox (seq) SELECT seq FROM runs"),
            QStringLiteral("PRAGMA user_version = 2")};
}

// From version 2 to 3: where the band was plugged in (its USB location),
// unknown for every earlier run.
QStringList upgradeFrom2(bool postgres)
{
    if (postgres)
        return {QStringLiteral("ALTER TABLE runs ADD COLUMN IF NOT EXISTS usb_path TEXT"),
                QStringLiteral("UPDATE schema_info SET version = 3")};
    return {QStringLiteral("ALTER TABLE runs ADD COLUMN usb_path TEXT"),
            QStringLiteral("PRAGMA user_version = 3")};
}

// From version 3 to 4: what each run used (def.xml, the image and the
// version the band came back with), unknown for earlier runs; on the server
// the line's own tables, its day counts made from the runs it has.
QStringList upgradeFrom3(bool postgres)
{
    QStringList s{QStringLiteral("ALTER TABLE runs ADD COLUMN def_sha256 TEXT"),
                  QStringLiteral("ALTER TABLE runs ADD COLUMN image_sha256 TEXT"),
                  QStringLiteral("ALTER TABLE runs ADD COLUMN image_version TEXT")};
    if (postgres)
        return s << lineStatements() << QStringLiteral("UPDATE schema_info SET version = 4");
    return s << QStringLiteral("PRAGMA user_version = 4");
}

} // namespace

int schemaVersion(QSqlDatabase &db, QString *error)
{
    QSqlQuery q(db);
    const bool postgres = isPostgres(db);
    if (postgres) {
        if (!q.exec(QStringLiteral("SELECT to_regclass('schema_info') IS NOT NULL")) || !q.next()) {
            *error = describeSqlError(db, q.lastError());
            return -1;
        }
        if (!q.value(0).toBool())
            return 0;
        if (!q.exec(QStringLiteral("SELECT max(version) FROM schema_info")) || !q.next()) {
            *error = describeSqlError(db, q.lastError());
            return -1;
        }
        return q.value(0).toInt();
    }
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
        *error = describeSqlError(db, q.lastError());
        return -1;
    }
    return q.value(0).toInt();
}

QString newerSchemaProblem(const QSqlDatabase &db, int version)
{
    return QStringLiteral("%1 has schema version %2, newer than this program's %3; update the program")
        .arg(isPostgres(db) ? QStringLiteral("the server's database") : QStringLiteral("results.db"))
        .arg(version).arg(kSchemaVersion);
}

void prepareRunInsert(QSqlQuery &q, const QString &table, const RunRecord &r)
{
    q.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)")
                  .arg(table, QLatin1String(kRunColumns)));
    q.addBindValue(r.id.toString(QUuid::WithoutBraces));
    q.addBindValue(r.program);
    q.addBindValue(r.station);
    q.addBindValue(r.operatorLogin);
    q.addBindValue(isoUtc(r.startedAt));
    q.addBindValue(isoUtc(r.endedAt));
    q.addBindValue(r.day());
    q.addBindValue(r.durationMs());
    q.addBindValue(outcomeName(r.outcome));
    q.addBindValue(textOrNull(r.failedStep));
    q.addBindValue(r.failedRow < 0 ? QVariant(QMetaType::fromType<int>()) : QVariant(r.failedRow));
    q.addBindValue(textOrNull(r.unit));
    q.addBindValue(r.firstTry ? 1 : 0);
    q.addBindValue(QString::fromUtf8(QJsonDocument(r.details).toJson(QJsonDocument::Compact)));
    q.addBindValue(r.simulated ? 1 : 0);
    q.addBindValue(textOrNull(r.usbPath));
    q.addBindValue(textOrNull(r.defSha256));
    q.addBindValue(textOrNull(r.imageSha256));
    q.addBindValue(textOrNull(r.imageVersion));
}

bool prepareSchema(QSqlDatabase &db, QString *error)
{
    const bool postgres = isPostgres(db);
    const auto newer = [&](int version) {
        *error = newerSchemaProblem(db, version);
        return false;
    };
    int version = schemaVersion(db, error);
    if (version < 0)
        return false;
    if (version > kSchemaVersion)
        return newer(version);
    if (version == kSchemaVersion)
        return true;

    // Several stations (or programs of one station) may prepare it at the
    // same moment: take the lock first, then look again.
    QSqlQuery q(db);
    const bool locked = postgres ? db.transaction() && q.exec(QStringLiteral("SELECT pg_advisory_xact_lock(7419)"))
                                 : q.exec(QStringLiteral("BEGIN IMMEDIATE"));
    if (!locked) {
        *error = describeSqlError(db, q.lastError().isValid() ? q.lastError() : db.lastError());
        db.rollback();
        return false;
    }
    version = schemaVersion(db, error);
    if (version < 0 || version > kSchemaVersion) {
        db.rollback();
        return version < 0 ? false : newer(version);
    }
    // An older schema goes through each step from its version on.
    QStringList statements;
    if (version == 0)
        statements = createStatements(postgres);
    if (version == 1)
        statements += upgradeFrom1(postgres);
    if (version == 1 || version == 2)
        statements += upgradeFrom2(postgres);
    if (version >= 1 && version <= 3)
        statements += upgradeFrom3(postgres);
    for (const QString &sql : statements) {
        if (!q.exec(sql)) {
            *error = describeSqlError(db, q.lastError());
            // Counting millions of runs outlasts a station's statement bound.
            if (q.lastError().nativeErrorCode() == QLatin1String("57014") && version > 0)
                error->prepend(QStringLiteral("bringing the server's database from schema version %1 to %2 takes"
                                              " longer than a station may wait; the line's administrator runs"
                                              " bandctl server init: ")
                                   .arg(version).arg(kSchemaVersion));
            // A station's own login on a line set up by its administrator.
            if (q.lastError().nativeErrorCode() == QLatin1String("42501"))
                error->prepend(QStringLiteral("%1, and the login %2 may not change it; the line's administrator runs"
                                              " bandctl server init: ")
                                   .arg(version == 0 ? QStringLiteral("the server's database has no records tables yet")
                                                     : QStringLiteral("the server's database has schema version %1,"
                                                                      " older than this program's %2")
                                                           .arg(version).arg(kSchemaVersion),
                                        db.userName()));
            db.rollback();
            return false;
        }
    }
    if (!db.commit()) {
        *error = describeSqlError(db, db.lastError());
        db.rollback();
        return false;
    }
    return true;
}

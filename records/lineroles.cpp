#include "lineroles.h"

#include "schema.h"
#include "sqlerrors.h"

#include <QSqlError>
#include <QSqlQuery>

namespace {

const QStringList kRoles{QStringLiteral("band_station"), QStringLiteral("band_viewer"), QStringLiteral("band_admin")};
// Where each station sees its own rows only.
const QStringList kStationTables{QStringLiteral("runs"), QStringLiteral("stations"), QStringLiteral("day_counts"),
                                 QStringLiteral("day_failures")};

bool run(QSqlDatabase &db, const QString &sql, QString *error)
{
    QSqlQuery q(db);
    if (q.exec(sql))
        return true;
    *error = describeSqlError(db, q.lastError()) + QStringLiteral(" [") + sql.left(60) + QStringLiteral("...]");
    if (q.lastError().nativeErrorCode() == QLatin1String("42501"))
        error->prepend(QStringLiteral("the login %1 may not set the records server up; use an administrator's"
                                      " (a superuser, or one with CREATEROLE that owns the tables): ")
                           .arg(db.userName()));
    return false;
}

QStringList rightsStatements()
{
    QStringList s;
    // The tables belong to the role, so that any of its members administers them.
    for (const QString &table : kStationTables + QStringList{QStringLiteral("schema_info")})
        s << QStringLiteral("ALTER TABLE %1 OWNER TO band_admin").arg(table);
    s << QStringLiteral("ALTER FUNCTION band_runs_changed() OWNER TO band_admin")
      << QStringLiteral("ALTER FUNCTION mark_first_tries(TEXT) OWNER TO band_admin")
      << QStringLiteral("REVOKE ALL ON FUNCTION band_runs_changed() FROM PUBLIC")
      << QStringLiteral("REVOKE ALL ON FUNCTION mark_first_tries(TEXT) FROM PUBLIC")
      << QStringLiteral("GRANT EXECUTE ON FUNCTION mark_first_tries(TEXT) TO band_station")
      // No one else creates tables beside the records.
      << QStringLiteral("REVOKE CREATE ON SCHEMA public FROM PUBLIC");
    for (const QString &table : kStationTables) {
        s << QStringLiteral("REVOKE ALL ON %1 FROM PUBLIC, band_station, band_viewer").arg(table)
          << QStringLiteral("ALTER TABLE %1 ENABLE ROW LEVEL SECURITY").arg(table)
          << QStringLiteral("DROP POLICY IF EXISTS station_own ON %1").arg(table)
          << QStringLiteral("CREATE POLICY station_own ON %1 TO band_station"
                            " USING (station = session_user) WITH CHECK (station = session_user)").arg(table)
          << QStringLiteral("DROP POLICY IF EXISTS viewer_all ON %1").arg(table)
          << QStringLiteral("CREATE POLICY viewer_all ON %1 FOR SELECT TO band_viewer USING (true)").arg(table)
          << QStringLiteral("GRANT SELECT ON %1 TO band_station, band_viewer").arg(table);
    }
    // Runs are added, never changed; a station's own row is its report.
    s << QStringLiteral("GRANT INSERT ON runs TO band_station")
      << QStringLiteral("GRANT USAGE ON SEQUENCE runs_seq_seq TO band_station")
      << QStringLiteral("GRANT INSERT, UPDATE ON stations TO band_station")
      << QStringLiteral("GRANT SELECT ON schema_info TO band_station, band_viewer");
    return s;
}

} // namespace

bool initLineServer(QSqlDatabase &db, QString *error)
{
    // Roles are the cluster's, outside any transaction's undo: made first.
    for (const QString &role : kRoles) {
        if (!run(db, QStringLiteral("DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = '%1')"
                                    " THEN CREATE ROLE %1 NOLOGIN; END IF; END $$").arg(role), error))
            return false;
    }
    if (!run(db, QStringLiteral("SET client_min_messages = warning"), error)
        || !run(db, QStringLiteral("GRANT band_admin TO CURRENT_USER"), error) || !prepareSchema(db, error))
        return false;
    if (!db.transaction()) {
        *error = describeSqlError(db, db.lastError());
        return false;
    }
    // One administrator at a time.
    QStringList statements{QStringLiteral("SELECT pg_advisory_xact_lock(7419)")};
    statements += rightsStatements();
    for (const QString &sql : std::as_const(statements)) {
        if (!run(db, sql, error)) {
            db.rollback();
            return false;
        }
    }
    if (db.commit())
        return true;
    *error = describeSqlError(db, db.lastError());
    db.rollback();
    return false;
}

QStringList addLoginCommands(const QString &database)
{
    return {QStringLiteral("CREATE ROLE \"STATION-NAME\" LOGIN PASSWORD 'PASSWORD' IN ROLE band_station;"),
            QStringLiteral("CREATE ROLE \"VIEWER-NAME\" LOGIN PASSWORD 'PASSWORD' IN ROLE band_viewer;"),
            QStringLiteral("-- and in pg_hba.conf: hostssl %1 all 10.0.0.0/24 scram-sha-256").arg(database)};
}

#include "linetables.h"

#include "firsttries.h"

namespace {

// The counts one run adds to its day (sign 1) or takes away (-1).
const char *const kCountRun = R"SQL(
    INSERT INTO day_counts AS c (station, day, program, simulated, runs, passed, failed, interrupted, units, first_pass)
    VALUES (r.station, r.day, r.program, r.simulated, sign, sign * (r.outcome = 'pass')::int,
            sign * (r.outcome = 'fail')::int, sign * (r.outcome = 'interrupted')::int, sign * r.first_try,
            sign * (r.first_try = 1 AND r.outcome = 'pass')::int)
    ON CONFLICT (station, day, program, simulated) DO UPDATE SET runs = c.runs + EXCLUDED.runs,
        passed = c.passed + EXCLUDED.passed, failed = c.failed + EXCLUDED.failed,
        interrupted = c.interrupted + EXCLUDED.interrupted, units = c.units + EXCLUDED.units,
        first_pass = c.first_pass + EXCLUDED.first_pass;
    IF r.outcome = 'fail' AND r.failed_step IS NOT NULL THEN
        INSERT INTO day_failures AS f (station, day, program, simulated, failed_step, failures)
        VALUES (r.station, r.day, r.program, r.simulated, r.failed_step, sign)
        ON CONFLICT (station, day, program, simulated, failed_step)
        DO UPDATE SET failures = f.failures + EXCLUDED.failures;
    END IF;)SQL";

} // namespace

QStringList lineStatements()
{
    return {
        // One row per station and program, replaced by each report; the
        // time is the server's, so that a station's clock cannot make it
        // look online.
        QStringLiteral("CREATE TABLE IF NOT EXISTS stations (station TEXT NOT NULL, program TEXT NOT NULL,"
                       " version TEXT NOT NULL, host TEXT NOT NULL, def_sha256 TEXT, image_sha256 TEXT,"
                       " image_version TEXT, waiting INTEGER NOT NULL DEFAULT 0,"
                       " last_seen TIMESTAMPTZ NOT NULL DEFAULT now(), PRIMARY KEY (station, program))"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS day_counts (station TEXT NOT NULL, day TEXT NOT NULL,"
                       " program TEXT NOT NULL, simulated INTEGER NOT NULL, runs BIGINT NOT NULL,"
                       " passed BIGINT NOT NULL, failed BIGINT NOT NULL, interrupted BIGINT NOT NULL,"
                       " units BIGINT NOT NULL, first_pass BIGINT NOT NULL,"
                       " PRIMARY KEY (station, day, program, simulated))"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS day_counts_day ON day_counts (day)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS day_failures (station TEXT NOT NULL, day TEXT NOT NULL,"
                       " program TEXT NOT NULL, simulated INTEGER NOT NULL, failed_step TEXT NOT NULL,"
                       " failures BIGINT NOT NULL,"
                       " PRIMARY KEY (station, day, program, simulated, failed_step))"),
        // The owner's rights: a station adds runs but may not write the counts.
        QStringLiteral("CREATE OR REPLACE FUNCTION band_runs_changed() RETURNS trigger LANGUAGE plpgsql"
                       " SECURITY DEFINER SET search_path FROM CURRENT AS $$"
                       " DECLARE r runs; sign INTEGER;"
                       " BEGIN"
                       "  FOR pass IN 1..2 LOOP"
                       "   IF pass = 1 THEN CONTINUE WHEN TG_OP = 'INSERT'; r := OLD; sign := -1;"
                       "   ELSE CONTINUE WHEN TG_OP = 'DELETE'; r := NEW; sign := 1; END IF;"
                       "   %1"
                       "  END LOOP;"
                       "  IF TG_OP = 'INSERT' THEN PERFORM pg_notify('%2', NEW.id); END IF;"
                       "  RETURN NULL;"
                       " END $$")
            .arg(QLatin1String(kCountRun), QLatin1String(kNewRunChannel)),
        QStringLiteral("DROP TRIGGER IF EXISTS runs_added ON runs"),
        QStringLiteral("CREATE TRIGGER runs_added AFTER INSERT OR DELETE ON runs"
                       " FOR EACH ROW EXECUTE FUNCTION band_runs_changed()"),
        QStringLiteral("DROP TRIGGER IF EXISTS runs_changed ON runs"),
        QStringLiteral("CREATE TRIGGER runs_changed AFTER UPDATE ON runs FOR EACH ROW"
                       " WHEN (OLD.* IS DISTINCT FROM NEW.*) EXECUTE FUNCTION band_runs_changed()"),
        // The recount changes other runs of the band: the owner's right, not the station's.
        QStringLiteral("CREATE OR REPLACE FUNCTION mark_first_tries(run_id TEXT) RETURNS void LANGUAGE sql"
                       " SECURITY DEFINER SET search_path FROM CURRENT AS $$ %1 $$")
            .arg(firstTriesUpdate(QStringLiteral("run_id"))),
        // The runs already there, counted once.
        QStringLiteral("INSERT INTO day_counts (station, day, program, simulated, runs, passed, failed, interrupted,"
                       " units, first_pass)"
                       " SELECT station, day, program, simulated, COUNT(*), SUM((outcome = 'pass')::int),"
                       " SUM((outcome = 'fail')::int), SUM((outcome = 'interrupted')::int), SUM(first_try),"
                       " SUM((first_try = 1 AND outcome = 'pass')::int)"
                       " FROM runs GROUP BY station, day, program, simulated ON CONFLICT DO NOTHING"),
        QStringLiteral("INSERT INTO day_failures (station, day, program, simulated, failed_step, failures)"
                       " SELECT station, day, program, simulated, failed_step, COUNT(*) FROM runs"
                       " WHERE outcome = 'fail' AND failed_step IS NOT NULL"
                       " GROUP BY station, day, program, simulated, failed_step ON CONFLICT DO NOTHING"),
    };
}

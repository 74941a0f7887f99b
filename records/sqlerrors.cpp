#include "sqlerrors.h"

#include <QSqlDatabase>
#include <QSqlError>

namespace {

// SQLite's primary result codes.
enum {
    SqliteBusy = 5, SqliteLocked = 6, SqliteReadOnly = 8, SqliteIoErr = 10, SqliteCorrupt = 11,
    SqliteFull = 13, SqliteCantOpen = 14, SqliteNotADb = 26
};

QString sqliteWords(int code)
{
    switch (code & 0xFF) {
    case SqliteBusy:
    case SqliteLocked: return QStringLiteral("results.db is locked by another program");
    case SqliteReadOnly: return QStringLiteral("results.db is read-only");
    case SqliteFull: return QStringLiteral("the disk holding results.db is full");
    case SqliteIoErr: return QStringLiteral("results.db could not be written (disk full or failing)");
    case SqliteCorrupt:
    case SqliteNotADb: return QStringLiteral("results.db is damaged (not a usable database)");
    case SqliteCantOpen: return QStringLiteral("results.db cannot be opened or created here");
    default: return QStringLiteral("results.db could not be used");
    }
}

} // namespace

QString describeSqlError(const QSqlDatabase &db, const QSqlError &error)
{
    const QString detail = error.text().simplified();
    if (db.driverName() == QLatin1String("QSQLITE")) {
        bool ok = false;
        const int code = error.nativeErrorCode().toInt(&ok);
        return QStringLiteral("%1 (%2)").arg(ok ? sqliteWords(code) : QStringLiteral("results.db could not be used"),
                                             detail);
    }
    return QStringLiteral("the records server could not be used (%1)").arg(detail);
}

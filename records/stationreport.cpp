#include "stationreport.h"

#include "sqlerrors.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>

namespace {

QVariant textOrNull(const QString &s)
{
    return s.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(s);
}

// The version the band reported after the station's last passing burn of
// image; empty when none passed yet. A virtual band's says nothing of the image.
bool imageVersion(QSqlDatabase &local, const QString &station, const QString &image, QString *version,
                  QString *error)
{
    version->clear();
    if (image.isEmpty())
        return true;
    QSqlQuery q(local);
    q.prepare(QStringLiteral("SELECT image_version FROM runs WHERE station = ? AND program = 'burner'"
                             " AND outcome = 'pass' AND simulated = 0 AND image_sha256 = ? AND image_version IS NOT NULL"
                             " ORDER BY seq DESC LIMIT 1"));
    q.addBindValue(station);
    q.addBindValue(image);
    if (!q.exec()) {
        *error = describeSqlError(local, q.lastError());
        return false;
    }
    if (q.next())
        *version = q.value(0).toString();
    return true;
}

bool queued(QSqlDatabase &local, int *count, QString *error)
{
    QSqlQuery q(local);
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM outbox")) || !q.next()) {
        *error = describeSqlError(local, q.lastError());
        return false;
    }
    *count = q.value(0).toInt();
    return true;
}

} // namespace

QString StationIdentity::thisVersion()
{
    return QStringLiteral(BANDTOOLS_VERSION);
}

QString sha256Hex(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QString fileSha256(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return QString();
    return QString::fromLatin1(hash.result().toHex());
}

bool reportStation(QSqlDatabase &local, QSqlDatabase &server, const QString &station,
                   const StationIdentity &identity, int spooled, QString *error)
{
    QString version;
    int waiting = 0;
    if (!imageVersion(local, station, identity.imageSha256, &version, error) || !queued(local, &waiting, error))
        return false;
    // The station's own row only: under the line's roles that is all it may write.
    QSqlQuery q(server);
    q.prepare(QStringLiteral(
        "INSERT INTO stations (station, program, version, host, def_sha256, image_sha256, image_version, waiting,"
        " last_seen) VALUES (?, ?, ?, ?, ?, ?, ?, ?, now()) ON CONFLICT (station, program) DO UPDATE SET"
        " version = EXCLUDED.version, host = EXCLUDED.host, def_sha256 = EXCLUDED.def_sha256,"
        " image_sha256 = EXCLUDED.image_sha256, image_version = EXCLUDED.image_version,"
        " waiting = EXCLUDED.waiting, last_seen = now()"));
    q.addBindValue(station);
    q.addBindValue(identity.program);
    q.addBindValue(identity.version);
    q.addBindValue(QSysInfo::machineHostName());
    q.addBindValue(textOrNull(identity.defSha256));
    q.addBindValue(textOrNull(identity.imageSha256));
    q.addBindValue(textOrNull(version));
    q.addBindValue(waiting + spooled);
    if (q.exec())
        return true;
    *error = describeSqlError(server, q.lastError());
    return false;
}

#include "sidecarfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace {

const QString kDatabase = QStringLiteral("results.db");
const QStringList kSidecars{QStringLiteral("results.db-wal"), QStringLiteral("results.db-shm")};

} // namespace

void matchSidecarsToDatabase(const QString &folder)
{
    const QFileInfo database(QDir(folder).filePath(kDatabase));
    if (!database.exists() || !database.isWritable())
        return;
    for (const QString &name : kSidecars) {
        const QFileInfo sidecar(QDir(folder).filePath(name));
        if (sidecar.exists() && !sidecar.isWritable())
            QFile::setPermissions(sidecar.filePath(), database.permissions());
    }
}

QString sidecarInTheWay(const QString &folder)
{
    if (!QFileInfo(QDir(folder).filePath(kDatabase)).isWritable())
        return QString();
    for (const QString &name : kSidecars) {
        const QFileInfo sidecar(QDir(folder).filePath(name));
        if (sidecar.exists() && !sidecar.isWritable())
            return name;
    }
    return QString();
}

QString namingTheFileInTheWay(const QString &folder, const QString &error)
{
    const QString file = sidecarInTheWay(folder);
    return file.isEmpty() ? error
                          : QStringLiteral("%1 is read-only while results.db is not; give it results.db's permissions (%2)")
                                .arg(file, error);
}

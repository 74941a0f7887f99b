#include "recordspool.h"

#include "filesync.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

namespace {

// Sorts in the order records were spooled: time, then a counter for records
// of one millisecond, then the id to keep two programs' names apart.
QString fileNameFor(const RunRecord &record)
{
    static QAtomicInt counter;
    return QStringLiteral("%1-%2-%3.json")
        .arg(QDateTime::currentMSecsSinceEpoch(), 15, 10, QLatin1Char('0'))
        .arg(counter.fetchAndAddRelaxed(1) % 10000, 4, 10, QLatin1Char('0'))
        .arg(record.id.toString(QUuid::WithoutBraces));
}

} // namespace

RecordSpool::RecordSpool(const QString &folder) : path(QDir(folder).filePath(folderName())) {}

bool RecordSpool::put(const RunRecord &record, QString *error) const
{
    if (!QDir().mkpath(path)) {
        *error = QStringLiteral("%1/ cannot be created").arg(folderName());
        return false;
    }
    QSaveFile file(QDir(path).filePath(fileNameFor(record)));
    // The file is renamed into place only once all of it is on the disk.
    if (!file.open(QIODevice::WriteOnly)
        || file.write(QJsonDocument(record.toJson()).toJson(QJsonDocument::Compact)) < 0
        || !syncFileToDisk(file) || !file.commit()) {
        *error = QStringLiteral("%1/ cannot be written (%2)").arg(folderName(), file.errorString());
        return false;
    }
    if (!syncFolderToDisk(path)) {
        *error = QStringLiteral("%1/ cannot be synced").arg(folderName());
        return false;
    }
    return true;
}

QList<RecordSpool::Entry> RecordSpool::waiting(QStringList *problems) const
{
    QList<Entry> entries;
    QStringList notRecords;
    read(&entries, &notRecords);
    for (const QString &file : std::as_const(notRecords)) {
        QFile::rename(file, file + QStringLiteral(".damaged"));
        *problems << QStringLiteral("%1/%2 is not a record; renamed .damaged").arg(folderName(), QFileInfo(file).fileName());
    }
    return entries;
}

QList<RunRecord> RecordSpool::records() const
{
    QList<Entry> entries;
    QStringList notRecords;
    read(&entries, &notRecords);
    QList<RunRecord> records;
    for (const Entry &e : std::as_const(entries))
        records << e.record;
    return records;
}

void RecordSpool::read(QList<Entry> *entries, QStringList *notRecords) const
{
    const QDir dir(path);
    for (const QString &name : dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(name));
        Entry entry{file.fileName(), RunRecord()};
        if (file.open(QIODevice::ReadOnly)
            && RunRecord::fromJson(QJsonDocument::fromJson(file.readAll()).object(), &entry.record))
            *entries << entry;
        else
            *notRecords << entry.file;
    }
}

void RecordSpool::remove(const QList<Entry> &entries) const
{
    for (const Entry &e : entries)
        QFile::remove(e.file);
    if (!entries.isEmpty())
        syncFolderToDisk(path);
}

int RecordSpool::count() const
{
    return int(QDir(path).entryList({QStringLiteral("*.json")}, QDir::Files).size());
}

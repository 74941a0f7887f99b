// Where a record goes when results.db cannot take it (read-only, locked by
// another program, damaged, on a full disk): one small file per record in
// results-spool/ beside it, written whole or not at all (a temporary name,
// synced, renamed, the folder synced). The next program that writes records
// in that folder takes them into results.db first, oldest first, and only
// then removes their files; a record already there (same id) is not taken
// twice.
#pragma once

#include "runrecord.h"

#include <QList>
#include <QString>

class RecordSpool {
public:
    explicit RecordSpool(const QString &folder);

    // False with *error when the record could not be kept even here.
    bool put(const RunRecord &record, QString *error) const;

    struct Entry {
        QString file;
        RunRecord record;
    };
    // The waiting records, oldest first. A file that is not a record is
    // renamed *.damaged (kept for a person to look at) and *problems says so.
    QList<Entry> waiting(QStringList *problems) const;
    // The waiting records, oldest first, for reading: nothing is renamed.
    QList<RunRecord> records() const;
    // After they are in results.db.
    void remove(const QList<Entry> &entries) const;
    int count() const;

    static QString folderName() { return QStringLiteral("results-spool"); }

private:
    void read(QList<Entry> *entries, QStringList *notRecords) const;

    const QString path;
};

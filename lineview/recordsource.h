// Where lineview reads the records: the line's server or one station's
// results.db, always read-only. Qt SQL connections belong to their thread,
// so each thread that asks gets one of its own, opened on first use and
// opened again after it broke.
#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QUrl>

class RecordSource {
public:
    RecordSource();
    // False with *error when location is neither a server url nor a results.db.
    bool setLocation(const QString &location, QString *error);

    bool isServer() const { return server; }
    QUrl url() const { return serverUrl; }
    QString folder() const { return localFolder; } // of results.db
    QString describe() const;

    // This thread's open connection, or an invalid one with *error.
    QSqlDatabase database(QString *error) const;
    // The connection failed: the next database() opens it anew.
    void forgetConnection() const;
    // Whether the records have the line's tables (stations, day counts).
    bool hasLineTables(QSqlDatabase &db) const;

private:
    bool server = false;
    QUrl serverUrl;
    QString localFolder;
    const quint64 id; // names this source's connection in each thread
};

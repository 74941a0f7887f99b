// The station's results store: writes each run's record to results.db in the
// station folder, durably, and hands it to the forwarder when station.ini
// names a shared server. Used on the caller's thread; a write takes a few
// milliseconds (one synced commit) and never waits for the server.
#pragma once

#include "recordspool.h"
#include "runrecord.h"
#include "stationreport.h"
#include "stationsettings.h"

#include <QList>
#include <QSqlDatabase>
#include <QObject>

class RecordForwarder;

class RecordStore : public QObject {
    Q_OBJECT
public:
    // folder: where results.db and station.ini are, the working directory by
    // default; forwardIntervalMs: the longest wait between two tries to
    // reach the server, 0 = no forwarding from this store.
    explicit RecordStore(const QString &folder = QStringLiteral("."), int forwardIntervalMs = 30000,
                         QObject *parent = nullptr);
    ~RecordStore() override;

    const StationSettings &settings() const { return station; }
    // What the station reports itself as to the server, after every forward
    // and at least once a minute; until set, it reports nothing.
    void setIdentity(const StationIdentity &identity);
    // A new record of this station for program, started now.
    RunRecord begin(const QString &program) const;

    enum class Kept {
        Stored,   // committed to results.db
        Spooled,  // results.db could not take it: in results-spool/, taken in by the next write
        NotKept,  // not even the spool took it: held in memory, tried again with the next record
    };
    // Takes in what the spool holds, then writes record; problem() says why
    // it was not stored. Sets record.firstTry when stored.
    Kept keep(RunRecord &record);
    // keep() == Kept::Stored.
    bool write(RunRecord &record) { return keep(record) == Kept::Stored; }
    // Takes the spool's records (and any held in memory) into results.db;
    // true when none are left waiting.
    bool takeIn();

    // What keeps records from being stored, empty when all is well.
    QString problem() const { return currentProblem; }
    int heldCount() const { return int(held.size()); }
    int spooledCount() const { return spool.count(); }

signals:
    // The text for the window's status line; empty once records are kept again.
    void problemChanged(const QString &problem);
    // Why records wait for the server; empty once they reach it again.
    void serverProblemChanged(const QString &problem);

private:
    QSqlDatabase openDatabase(QString *error);
    // False with *error when results.db did not take them.
    bool writeHeld(bool *lastFirstTry, QString *error);
    // The held records into the spool, and the problem said.
    Kept keepElsewhere(const QString &reason);
    bool spoolHeld(QString *error);
    void setProblem(const QString &problem);

    const QString folder;
    const StationSettings station;
    const QString connectionName;
    const RecordSpool spool;
    QList<RunRecord> held;
    QString currentProblem;
    RecordForwarder *forwarder = nullptr;
    StationIdentity reported;
};

// The station's results store: writes each run's record to results.db in the
// station folder, durably, and hands it to the forwarder when station.ini
// names a shared server. Used on the caller's thread; a write takes a few
// milliseconds (one synced commit) and never waits for the server.
#pragma once

#include "runrecord.h"
#include "stationsettings.h"

#include <QList>
#include <QObject>

class RecordForwarder;

class RecordStore : public QObject {
    Q_OBJECT
public:
    // folder: where results.db and station.ini are, the working directory by
    // default; forwardIntervalMs: the longest wait between two tries to
    // reach the server.
    explicit RecordStore(const QString &folder = QStringLiteral("."), int forwardIntervalMs = 30000,
                         QObject *parent = nullptr);
    ~RecordStore() override;

    const StationSettings &settings() const { return station; }
    // A new record of this station for program, started now.
    RunRecord begin(const QString &program) const;

    // True once the record is committed to the disk. When it cannot be, the
    // record is held in memory and written before the next one; problem()
    // says why. Sets record.firstTry.
    bool write(RunRecord &record);

    // What keeps records from being stored, empty when all is well.
    QString problem() const { return currentProblem; }
    int heldCount() const { return int(held.size()); }

signals:
    // The text for the window's status line; empty once records are kept again.
    void problemChanged(const QString &problem);
    // Why records wait for the server; empty once they reach it again.
    void serverProblemChanged(const QString &problem);

private:
    bool writeHeld(bool *lastFirstTry);
    void holdBecause(const QString &reason);
    void setProblem(const QString &problem);

    const QString folder;
    const StationSettings station;
    const QString connectionName;
    QList<RunRecord> held;
    QString currentProblem;
    RecordForwarder *forwarder = nullptr;
};

// Sends the station's queued records to the shared server on a thread of its
// own, oldest first. A record leaves the local queue only after the server
// committed it; a resend after a crash is harmless because the server keeps
// each record id once.
#pragma once

#include "outboxsender.h"

#include <QMutex>
#include <QThread>
#include <QUrl>
#include <QWaitCondition>

class RecordForwarder : public QThread {
    Q_OBJECT
public:
    // folder holds results.db; intervalMs: the longest wait between two tries.
    RecordForwarder(const QString &folder, const QUrl &server, int intervalMs, QObject *parent = nullptr);
    ~RecordForwarder() override;

    // Try now (a record was just written). Never blocks.
    void wake();
    // From the next round on, station reports itself as identity after
    // each forward. Never blocks.
    void reportAs(const QString &station, const StationIdentity &identity);
    // Asks the thread to end. A record written just before still goes when
    // the server answers within graceMs; after that the connection is cut,
    // so that no program's end waits for a server that does not answer.
    void stop(int graceMs = kStopGraceMs);

    static constexpr int kStopGraceMs = 400;

signals:
    // After records reached the server; count is how many.
    void forwarded(int count);
    // Why forwarding stopped, or empty once the queue went through again.
    void problemChanged(const QString &problem);

protected:
    void run() override;

private:
    void setProblem(const QString &problem);
    bool waitForWork();

    const QUrl server;
    const int intervalMs;
    OutboxSender sender; // its connections live on this thread
    QMutex mutex;
    QWaitCondition wakeUp;
    bool woken = false;
    QString problem;
    QString station;          // under mutex
    StationIdentity identity; // under mutex
};

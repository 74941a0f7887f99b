// Sends the station's queued records to the shared server on a thread of its
// own, oldest first. A record leaves the local queue only after the server
// committed it; a resend after a crash is harmless because the server keeps
// each record id once.
#pragma once

#include <QMutex>
#include <QThread>
#include <QUrl>
#include <QWaitCondition>

class QSqlDatabase;

class RecordForwarder : public QThread {
    Q_OBJECT
public:
    // folder holds results.db; intervalMs: the longest wait between two tries.
    RecordForwarder(const QString &folder, const QUrl &server, int intervalMs, QObject *parent = nullptr);
    ~RecordForwarder() override;

    // Try now (a record was just written). Never blocks.
    void wake();
    // Asks the thread to end after its current step and waits for it.
    void stop();

signals:
    // After records reached the server; count is how many.
    void forwarded(int count);
    // Why forwarding stopped, or empty once the queue went through again.
    void problemChanged(const QString &problem);

protected:
    void run() override;

private:
    void forwardRound(const QString &localName, const QString &serverName);
    // Sends one batch; returns how many records went, -1 with *error on failure.
    int forwardBatch(QSqlDatabase &local, QSqlDatabase &server, QString *error);
    void setProblem(const QString &problem);
    bool waitForWork();

    const QString folder;
    const QUrl server;
    const int intervalMs;
    QMutex mutex;
    QWaitCondition wakeUp;
    bool woken = false;
    QString problem;
};

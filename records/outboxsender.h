// Sends the records waiting in results.db's queue to the shared server,
// oldest first, in batches. A record leaves the queue only after the server
// committed it; a resend after a crash is harmless because the server keeps
// each record id once. Used on one thread (the forwarder's, or bandctl's);
// hangUp() may come from any thread.
#pragma once

#include "serverlink.h"
#include "stationreport.h"

#include <QString>
#include <QUrl>

#include <functional>

class OutboxSender {
public:
    OutboxSender(const QString &folder, const QUrl &server);
    ~OutboxSender();

    // Sends batches until the queue is empty, a step fails, or keepGoing()
    // (asked before every batch but the first) says stop. Returns how many
    // records went; *error says why they stopped going, empty when the queue
    // emptied or keepGoing() ended it. bound, the caller's watchdog, is
    // kicked after every exchange that went through; without one no
    // exchange with the server waits longer than a few seconds.
    int sendWaiting(QString *error, const std::function<bool()> &keepGoing = {},
                    const std::function<void(int sent)> &progress = {}, Watchdog *bound = nullptr);
    // After each sendWaiting() that reached the server, station reports
    // itself as identity; an identity not set reports nothing.
    void reportAs(const QString &station, const StationIdentity &identity);
    // How many records wait; -1 with *error.
    int waitingCount(QString *error);

    // The server connection the records go through, opened when needed:
    // reading back shares it. Invalid with *error when it cannot be opened.
    QSqlDatabase serverDatabase(QString *error);

    void hangUp() { link.hangUp(); }
    void giveUp() { link.giveUp(); }
    // Why the last exchange with the server failed when it was cut short; empty otherwise.
    QString cutReason() const { return link.cutReason(server); }
    // Closes both connections, on the thread that used them.
    void close();

private:
    bool openLocal(QString *error);
    // One batch; how many went, -1 with *error.
    int sendBatch(QString *error, Watchdog &deadline);
    // Never in the way of a record: a failure is said once, and the records stay as they are.
    void report(Watchdog &deadline);

    const QString folder;
    const QUrl server;
    const QString localName;
    ServerLink link;
    QString station;
    StationIdentity identity;
    QString reportProblem;
};

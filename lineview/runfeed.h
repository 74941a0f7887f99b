// The line's new runs as they reach the records, for the live pages. One
// thread watches (the server's notification of each new run, or the
// results.db file changing, with a poll each second behind both) and keeps
// the latest runs in order of their arrival; each live page waits here for
// the ones it has not had.
//
// Runs are known by seq. A transaction that took a lower seq may commit
// after a higher one, so each look goes back a window of seqs and takes
// what it has not seen.
#pragma once

#include "lineapi.h"

#include <QByteArray>
#include <QJsonObject>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>

struct FeedEvent {
    qint64 seq = 0;
    QJsonObject run;
    QByteArray json;
};

class RunFeed {
public:
    explicit RunFeed(const LineApi &api, const RecordSource &source);
    ~RunFeed();

    // Starts watching from the runs there now; false with *error when the
    // records cannot be read.
    bool start(QString *error);
    // Wakes every waiting page and stops the watching thread.
    void stop();

    // Where the feed stands now: a page that has had everything so far.
    quint64 position() const;
    // The runs that arrived at or after *position, waiting up to timeout
    // for one; *position moves past them. Empty on time-out or stop.
    QList<FeedEvent> waitForEvents(quint64 *position, std::chrono::milliseconds timeout);
    bool isStopping() const;

private:
    void look();
    void add(const QList<QJsonObject> &runs);

    const LineApi &api;
    const RecordSource &source;
    QThread thread;

    mutable std::mutex mutex;
    std::condition_variable arrived;
    std::deque<FeedEvent> events; // the latest, in order of arrival
    quint64 firstPosition = 0;    // arrival number of events.front()
    bool stopping = false;

    // Used by the watching thread only.
    qint64 highestSeq = 0;
    std::set<qint64> recentSeqs;
};

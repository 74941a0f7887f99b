#include "runfeed.h"

#include "linetables.h"
#include "runrecord.h"

#include <QFileSystemWatcher>
#include <QJsonDocument>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>

namespace {

constexpr int kLookMs = 1000;
constexpr qint64 kLateWindow = 256;      // seqs looked back at for late commits
constexpr size_t kEventsKept = 10000;
constexpr int kRunsPerLook = 5000;

} // namespace

RunFeed::RunFeed(const LineApi &api, const RecordSource &source) : api(api), source(source) {}

RunFeed::~RunFeed()
{
    stop();
}

bool RunFeed::start(QString *error)
{
    {
        QSqlDatabase db = source.database(error);
        if (!db.isOpen())
            return false;
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("SELECT COALESCE(MAX(seq), 0) FROM runs")) || !q.next()) {
            *error = QStringLiteral("cannot read the runs: %1").arg(q.lastError().text());
            return false;
        }
        highestSeq = q.value(0).toLongLong();
    }
    // The runs there now are the pages' catch-up, not news.
    QList<QJsonObject> present;
    if (!api.runsAfter(std::max<qint64>(0, highestSeq - kLateWindow), RecordFilter(), kRunsPerLook, &present, error))
        return false;
    for (const QJsonObject &run : std::as_const(present))
        recentSeqs.insert(run.value(QLatin1String("seq")).toInteger());

    // The watcher's objects live on its thread and go with it.
    auto *timer = new QTimer;
    timer->setInterval(kLookMs);
    timer->moveToThread(&thread);
    // A new run's notice from the server; a lost one is caught by the next
    // look, and a connection opened anew listens anew.
    const auto listen = [this, timer] {
        QString ignored;
        QSqlDatabase db = source.database(&ignored);
        if (db.isOpen() && db.driver()->subscribedToNotifications().isEmpty()
            && db.driver()->subscribeToNotification(QLatin1String(kNewRunChannel)))
            QObject::connect(db.driver(), &QSqlDriver::notification, timer, [this] { look(); });
    };
    QObject::connect(timer, &QTimer::timeout, timer, [this, listen] {
        if (source.isServer())
            listen();
        look();
    });
    QObject::connect(&thread, &QThread::started, timer, [this, timer, listen] {
        timer->start();
        if (source.isServer()) {
            listen();
        } else {
            auto *files = new QFileSystemWatcher(timer);
            files->addPaths({source.folder() + QStringLiteral("/results.db"), source.folder() + QStringLiteral("/results.db-wal")});
            QObject::connect(files, &QFileSystemWatcher::fileChanged, timer, [this, files](const QString &path) {
                // A file replaced by a new one (a checkpoint's -wal) is watched anew.
                if (!files->files().contains(path))
                    files->addPath(path);
                look();
            });
        }
    });
    QObject::connect(&thread, &QThread::finished, timer, [this, timer] {
        delete timer;
        source.forgetConnection();
    });
    thread.start();
    return true;
}

void RunFeed::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    arrived.notify_all();
    thread.quit();
    thread.wait();
}

bool RunFeed::isStopping() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return stopping;
}

quint64 RunFeed::position() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return firstPosition + events.size();
}

QList<FeedEvent> RunFeed::waitForEvents(quint64 *position, std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(mutex);
    arrived.wait_for(lock, timeout, [&] { return stopping || firstPosition + events.size() > *position; });
    QList<FeedEvent> out;
    if (stopping)
        return out;
    // A page too slow to keep up loses only what fell out of the window.
    quint64 from = std::max(*position, firstPosition);
    for (quint64 i = from; i < firstPosition + events.size(); ++i)
        out << events[i - firstPosition];
    *position = firstPosition + events.size();
    return out;
}

void RunFeed::look()
{
    QList<QJsonObject> runs;
    QString error;
    RecordFilter everything; // simulated runs too: each page filters for itself
    if (!api.runsAfter(std::max<qint64>(0, highestSeq - kLateWindow), everything, kRunsPerLook, &runs, &error,
                       recentSeqs))
        return; // the connection opens anew at the next look
    QList<QJsonObject> fresh;
    for (const QJsonObject &run : std::as_const(runs)) {
        const qint64 seq = run.value(QLatin1String("seq")).toInteger();
        if (seq <= highestSeq - kLateWindow || recentSeqs.count(seq))
            continue;
        recentSeqs.insert(seq);
        highestSeq = std::max(highestSeq, seq);
        fresh << run;
    }
    while (!recentSeqs.empty() && *recentSeqs.begin() <= highestSeq - kLateWindow)
        recentSeqs.erase(recentSeqs.begin());
    if (!fresh.isEmpty())
        add(fresh);
}

void RunFeed::add(const QList<QJsonObject> &runs)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (const QJsonObject &run : runs)
            events.push_back({run.value(QLatin1String("seq")).toInteger(), run,
                              QJsonDocument(run).toJson(QJsonDocument::Compact)});
        while (events.size() > kEventsKept) {
            events.pop_front();
            ++firstPosition;
        }
    }
    arrived.notify_all();
}

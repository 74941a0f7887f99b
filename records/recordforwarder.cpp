#include "recordforwarder.h"

#include "connections.h"

#include <QtDebug>

namespace {
constexpr int kCutAgainMs = 50;
}

RecordForwarder::RecordForwarder(const QString &folder, const QUrl &server, int intervalMs, QObject *parent)
    : QThread(parent), server(server), intervalMs(intervalMs), sender(folder, server)
{
}

RecordForwarder::~RecordForwarder()
{
    stop();
}

void RecordForwarder::wake()
{
    QMutexLocker lock(&mutex);
    woken = true;
    wakeUp.wakeAll();
}

void RecordForwarder::reportAs(const QString &stationName, const StationIdentity &stationIdentity)
{
    {
        QMutexLocker lock(&mutex);
        station = stationName;
        identity = stationIdentity;
    }
    wake(); // the line hears of it now, not at the next round
}

void RecordForwarder::stop(int graceMs)
{
    requestInterruption();
    {
        QMutexLocker lock(&mutex);
        wakeUp.wakeAll();
    }
    if (wait(graceMs))
        return;
    // Again until the thread ends: a wait may begin just after a cut.
    do
        sender.hangUp();
    while (!wait(kCutAgainMs));
}

bool RecordForwarder::waitForWork()
{
    QMutexLocker lock(&mutex);
    if (!woken && !isInterruptionRequested())
        wakeUp.wait(&mutex, QDeadlineTimer(intervalMs));
    // A record written just before the end still goes, when the server
    // answered the round before: a short-lived bandctl sends its own.
    const bool more = !isInterruptionRequested() || (woken && problem.isEmpty());
    woken = false;
    return more;
}

void RecordForwarder::run()
{
    do {
        {
            QMutexLocker lock(&mutex);
            sender.reportAs(station, identity);
        }
        QString error;
        sender.sendWaiting(&error, [this] { return !isInterruptionRequested(); },
                           [this](int count) { emit forwarded(count); });
        setProblem(error);
    } while (waitForWork());
    sender.close();
}

void RecordForwarder::setProblem(const QString &newProblem)
{
    if (newProblem == problem)
        return;
    problem = newProblem;
    if (problem.isEmpty())
        qDebug("Records reach the server %s again", qPrintable(displayUrl(server)));
    else
        qWarning("Records wait for the server: %s", qPrintable(problem));
    emit problemChanged(problem);
}

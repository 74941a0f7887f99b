#include "burnprocess.h"

#include "filecopy.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QMutexLocker>
#include <QTime>

namespace {

const char *const defaultCfgName = "DEFAULT.CFG";

QString failedCheck(const QString &path) { return QStringLiteral("Failed to check %1\n").arg(path); }
QString failedRemove(const QString &path) { return QStringLiteral("Failed to remove %1\n").arg(path); }
QString failedCopy(const QString &name) { return QStringLiteral("Failed to copy %1\n").arg(name); }

} // namespace

CBurnProcess::CBurnProcess(QObject *parent)
    : QThread(parent), logFile(QStringLiteral("run.log")), logStream(&logFile)
{
}

CBurnProcess::~CBurnProcess()
{
    stop();
    if (logFile.isOpen()) {
        logStream.flush();
        logFile.close();
    }
}

void CBurnProcess::startBurn(const QString &root, const BurnFileNames &files)
{
    // The members belong to the worker while it runs, so a second start then
    // is ignored rather than changing them under it.
    if (root.isEmpty() || files.cfgName.isEmpty() || files.binName.isEmpty()
        || isRunning())
        return;
    // Names are joined to the root directly; without the separator they
    // would land beside the disk instead of on it.
    diskRoot = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    cfgName = files.cfgName;
    binName = files.binName;
    hashes.clear();
    start(QThread::InheritPriority);
}

void CBurnProcess::requestStop()
{
    // Under the mutex, so a worker about to wait cannot miss the wake.
    QMutexLocker lock(&pauseMutex);
    requestInterruption();
    pauseWake.wakeAll();
}

void CBurnProcess::stop()
{
    requestStop();
    wait();
}

void CBurnProcess::setPauseMs(int ms)
{
    pauseMs = qMax(0, ms);
}

void CBurnProcess::setSourceFolder(const QString &folder)
{
    if (isRunning() || folder.isEmpty())
        return;
    source = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

QString CBurnProcess::sourceFolder() const
{
    return source;
}

void CBurnProcess::run()
{
    if (!logFile.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return;
    writeRunRecord("startup\n");
    runningStep = -1;
    if (!runSteps() && isInterruptionRequested())
        reportStoppedStep();
    writeRunRecord("finish");
    logStream.flush();
    logFile.close();
}

bool CBurnProcess::runSteps()
{
    return check(0, source) && check(1, source + cfgName)
        && check(2, source + binName, true) && check(3, diskRoot) && removeOldFiles()
        && begin(6, failedCopy(cfgName)) && pause() && copy(6, cfgName)
        && begin(7, failedCopy(binName)) && pause() && copy(7, binName);
}

// False when the burn has been asked to stop: the step counts as stopped.
bool CBurnProcess::begin(uint idx, const QString &failureRecord)
{
    runningStep = int(idx);
    runningFailure = failureRecord;
    emit stepStarted(idx);
    return !isInterruptionRequested();
}

bool CBurnProcess::check(uint idx, const QString &path, bool needsContent)
{
    if (!begin(idx, failedCheck(path)))
        return false;
    // An empty image would leave the band without firmware.
    const QFileInfo info(path);
    const bool ok = needsContent ? info.isFile() && info.size() > 0 : info.exists();
    return report(idx, ok, ok ? QStringLiteral("Succeed to check %1\n").arg(path) : failedCheck(path));
}

bool CBurnProcess::removeOldFiles()
{
    const QString oldImage = diskRoot + binName;
    if (!begin(4, failedRemove(oldImage)))
        return false;
    if (QFile::exists(oldImage))
        return remove(4, oldImage);
    if (!report(4, true, QString()))
        return false;
    const QString defaultCfg = diskRoot + QLatin1String(defaultCfgName);
    if (!QFile::exists(defaultCfg))
        return true;
    return begin(5, failedRemove(defaultCfg)) && remove(5, defaultCfg);
}

bool CBurnProcess::remove(uint idx, const QString &path)
{
    const bool ok = QFile::remove(path);
    return report(idx, ok, ok ? QStringLiteral("Succeed to remove %1\n").arg(path) : failedRemove(path));
}

bool CBurnProcess::copy(uint idx, const QString &name)
{
    QString sha256;
    const CopyOutcome outcome = copyFileToDisk(source + name, diskRoot + name,
                                               [this] { return isInterruptionRequested(); }, &sha256);
    if (outcome == CopyOutcome::Copied)
        hashes.insert(name, sha256);
    if (outcome == CopyOutcome::Stopped)
        return false;
    const bool ok = outcome == CopyOutcome::Copied;
    return report(idx, ok, ok ? QStringLiteral("Succeed to copy %1\n").arg(name) : failedCopy(name));
}

bool CBurnProcess::pause()
{
    QMutexLocker lock(&pauseMutex);
    const QDeadlineTimer deadline(pauseMs.load());
    while (!isInterruptionRequested()) {
        if (!pauseWake.wait(&pauseMutex, deadline))
            break;
    }
    return !isInterruptionRequested();
}

// The record goes out before the signal, so run.log never lags the window;
// an empty record writes nothing.
bool CBurnProcess::report(uint idx, bool ok, const QString &record)
{
    if (!record.isEmpty())
        writeStepRecord(record);
    runningStep = -1;
    emit processOk(idx, ok);
    return ok;
}

// A stop ends the step in progress as a failure, in the log and in a
// report alike, so that a unit pulled out is never taken for burnt.
void CBurnProcess::reportStoppedStep()
{
    if (runningStep < 0)
        return;
    report(uint(runningStep), false, runningFailure);
}

void CBurnProcess::writeRunRecord(const char *word)
{
    logStream << QDateTime::currentDateTime().toString(
                     QStringLiteral("[yyyy-MM-dd____hh:mm:ss] "))
              << word;
    logStream.flush();
}

void CBurnProcess::writeStepRecord(const QString &message)
{
    logStream << QTime::currentTime().toString(QStringLiteral("\t[hh:mm:ss]"))
              << message;
    logStream.flush();
}

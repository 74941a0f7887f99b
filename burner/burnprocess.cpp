#include "burnprocess.h"

#include "appendonly.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QMutexLocker>
#include <QStorageInfo>
#include <QTemporaryFile>
#include <QTime>

namespace {

const char *const defaultCfgName = "DEFAULT.CFG";

QString failedCheck(const QString &path) { return QStringLiteral("Failed to check %1\n").arg(path); }
QString failedRemove(const QString &path) { return QStringLiteral("Failed to remove %1\n").arg(path); }
QString failedCopy(const QString &name) { return QStringLiteral("Failed to copy %1\n").arg(name); }

qint64 sizeOf(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() ? info.size() : 0;
}

} // namespace

CBurnProcess::CBurnProcess(QObject *parent)
    : QThread(parent), logStream(&logFile)
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

bool CBurnProcess::startBurn(const QString &root, const BurnFileNames &files)
{
    // The members belong to the worker while it runs, so a second start then
    // is ignored rather than changing them under it.
    if (root.isEmpty() || files.cfgName.isEmpty() || files.binName.isEmpty()
        || isRunning())
        return false;
    // Names are joined to the root directly; without the separator they
    // would land beside the disk instead of on it.
    diskRoot = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    cfgName = files.cfgName;
    binName = files.binName;
    copied.clear();
    failure.clear();
    {
        QMutexLocker lock(&pauseMutex);
        stopReason.clear();
    }
    start(QThread::InheritPriority);
    return true;
}

void CBurnProcess::requestStop(const QString &reason)
{
    // Under the mutex, so a worker about to wait cannot miss the wake.
    QMutexLocker lock(&pauseMutex);
    if (!isRunning())
        return;
    if (stopReason.isEmpty())
        stopReason = reason;
    requestInterruption();
    pauseWake.wakeAll();
}

void CBurnProcess::stop(const QString &reason)
{
    requestStop(reason);
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

void CBurnProcess::setLogLocation(const QString &location)
{
    if (isRunning())
        return;
    logTag = location.isEmpty() ? QString() : QStringLiteral("[%1] ").arg(location);
}

QString CBurnProcess::sourceFolder() const
{
    return source;
}

void CBurnProcess::run()
{
    QString why;
    if (!openAppendOnly(logFile, QStringLiteral("run.log"), &why)) {
        failure = QStringLiteral("cannot open run.log: ") + why;
        return;
    }
    writeRunRecord("startup\n");
    runningStep = -1;
    if (!runSteps() && isInterruptionRequested())
        reportStoppedStep();
    writeRunRecord("finish");
    logStream.flush();
    logFile.close();
}

// Everything that can be seen beforehand (the sources readable, the disk
// writable and roomy enough) is checked before anything is removed, so a
// foreseeable failure never leaves the band's disk without its image.
bool CBurnProcess::runSteps()
{
    return check(0, source, QFileInfo(source).isDir() ? QString() : QStringLiteral("no such folder"))
        && check(1, source + cfgName, sourceProblem(source + cfgName, false))
        && check(2, source + binName, sourceProblem(source + binName, true))
        && check(3, diskRoot, diskProblem()) && removeOldFiles()
        && begin(6, QStringLiteral("copy ") + cfgName, failedCopy(cfgName)) && pause() && copy(6, cfgName)
        && begin(7, QStringLiteral("copy ") + binName, failedCopy(binName)) && pause() && copy(7, binName);
}

// False when the burn has been asked to stop: the step counts as stopped.
bool CBurnProcess::begin(uint idx, const QString &what, const QString &failureRecord)
{
    runningStep = int(idx);
    runningWhat = what;
    runningFailure = failureRecord;
    emit stepStarted(idx);
    return !isInterruptionRequested();
}

bool CBurnProcess::check(uint idx, const QString &path, const QString &problem)
{
    const QString what = QStringLiteral("check ") + path;
    if (!begin(idx, what, failedCheck(path)))
        return false;
    const bool ok = problem.isEmpty();
    return report(idx, ok, ok ? QStringLiteral("Succeed to check %1\n").arg(path) : failedCheck(path),
                  ok ? QString() : what + QStringLiteral(": ") + problem);
}

QString CBurnProcess::sourceProblem(const QString &path, bool isImage) const
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("no such file");
    if (!info.isFile())
        return QStringLiteral("not a file");
    // An empty image would leave the band without firmware.
    if (isImage && info.size() == 0)
        return QStringLiteral("the file is empty");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return file.errorString();
    return QString();
}

QString CBurnProcess::diskProblem() const
{
    if (!QFileInfo(diskRoot).isDir())
        return QStringLiteral("no such folder");
    // Proof that a file can be made there, before an old one is removed.
    QTemporaryFile probe(diskRoot + QStringLiteral("burn-probe-XXXXXX"));
    if (!probe.open())
        return QStringLiteral("cannot write there: ") + probe.errorString();
    probe.close();
    probe.remove();
    // Room for both files, counting what the run removes first.
    const bool oldImage = QFileInfo(diskRoot + binName).isFile();
    const qint64 freed = oldImage ? sizeOf(diskRoot + binName) : sizeOf(diskRoot + QLatin1String(defaultCfgName));
    const qint64 needed = sizeOf(source + cfgName) + sizeOf(source + binName) - freed;
    const QStorageInfo storage(diskRoot);
    if (storage.isValid() && storage.bytesAvailable() >= 0 && storage.bytesAvailable() < needed)
        return QStringLiteral("not enough room (%1 bytes needed, %2 free)").arg(needed).arg(storage.bytesAvailable());
    return QString();
}

bool CBurnProcess::removeOldFiles()
{
    const QString oldImage = diskRoot + binName;
    if (!begin(4, QStringLiteral("remove ") + oldImage, failedRemove(oldImage)))
        return false;
    if (QFile::exists(oldImage))
        return remove(4, oldImage);
    if (!report(4, true, QString()))
        return false;
    const QString defaultCfg = diskRoot + QLatin1String(defaultCfgName);
    if (!QFile::exists(defaultCfg))
        return true;
    return begin(5, QStringLiteral("remove ") + defaultCfg, failedRemove(defaultCfg)) && remove(5, defaultCfg);
}

bool CBurnProcess::remove(uint idx, const QString &path)
{
    QFile file(path);
    const bool ok = file.remove();
    return report(idx, ok, ok ? QStringLiteral("Succeed to remove %1\n").arg(path) : failedRemove(path),
                  ok ? QString() : runningWhat + QStringLiteral(": ") + file.errorString());
}

bool CBurnProcess::copy(uint idx, const QString &name)
{
    const CopyResult result = copyFileToDisk(source + name, diskRoot + name,
                                             [this] { return isInterruptionRequested(); });
    if (!result.sha256.isEmpty() || !result.diskSha256.isEmpty())
        copied.insert(name, result);
    if (result.outcome == CopyOutcome::Stopped)
        return false;
    const bool ok = result.outcome == CopyOutcome::Copied;
    return report(idx, ok, ok ? QStringLiteral("Succeed to copy %1\n").arg(name) : failedCopy(name),
                  ok ? QString() : runningWhat + QStringLiteral(": ") + result.error);
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
bool CBurnProcess::report(uint idx, bool ok, const QString &record, const QString &reason)
{
    if (!record.isEmpty())
        writeStepRecord(record);
    runningStep = -1;
    if (!ok)
        failure = reason;
    emit processOk(idx, ok);
    return ok;
}

// A stop ends the step in progress as a failure, in the log and in a
// report alike, so that a unit pulled out is never taken for burnt.
void CBurnProcess::reportStoppedStep()
{
    if (runningStep < 0)
        return;
    QString reason;
    {
        QMutexLocker lock(&pauseMutex);
        reason = stopReason;
    }
    report(uint(runningStep), false, runningFailure,
           runningWhat + QStringLiteral(": stopped") + (reason.isEmpty() ? QString() : QStringLiteral(", ") + reason));
    if (!reason.isEmpty())
        writeStepRecord(QStringLiteral("Stopped: %1\n").arg(reason));
}

void CBurnProcess::writeRunRecord(const char *word)
{
    logStream << QDateTime::currentDateTime().toString(
                     QStringLiteral("[yyyy-MM-dd____hh:mm:ss] "))
              << logTag << word;
    // Several bands' runs share the file: a tagged line always ends.
    if (!logTag.isEmpty() && !QByteArray(word).endsWith('\n'))
        logStream << '\n';
    logStream.flush();
}

void CBurnProcess::writeStepRecord(const QString &message)
{
    logStream << QTime::currentTime().toString(QStringLiteral("\t[hh:mm:ss]"))
              << logTag << message;
    logStream.flush();
}

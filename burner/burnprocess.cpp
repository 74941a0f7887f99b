#include "burnprocess.h"

#include "disksync.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QTime>

namespace {

const char *const sourceFolder = "bin/";
const char *const defaultCfgName = "DEFAULT.CFG";

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
    start(QThread::InheritPriority);
}

void CBurnProcess::stop()
{
    {
        // Under the mutex, so a worker about to wait cannot miss the wake.
        QMutexLocker lock(&pauseMutex);
        requestInterruption();
        pauseWake.wakeAll();
    }
    wait();
}

void CBurnProcess::setPauseMs(int ms)
{
    pauseMs = qMax(0, ms);
}

void CBurnProcess::run()
{
    if (!logFile.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return;
    writeRunRecord("startup\n");
    runSteps();
    // A stopped run leaves no finish record, but it always lets go of the
    // log so that the next run can open it.
    if (!isInterruptionRequested())
        writeRunRecord("finish");
    logStream.flush();
    logFile.close();
}

bool CBurnProcess::runSteps()
{
    const QString source = QLatin1String(sourceFolder);
    return check(0, source) && check(1, source + cfgName)
        && check(2, source + binName) && check(3, diskRoot) && removeOldFiles()
        && pause() && copy(6, cfgName) && pause() && copy(7, binName);
}

bool CBurnProcess::check(uint idx, const QString &path)
{
    if (isInterruptionRequested())
        return false;
    const bool ok = QFile::exists(path);
    writeStepRecord(ok ? QStringLiteral("Succeed to check %1\n").arg(path)
                       : QStringLiteral("Failed to check %1\n").arg(path));
    return report(idx, ok);
}

bool CBurnProcess::removeOldFiles()
{
    const QString oldImage = diskRoot + binName;
    if (QFile::exists(oldImage))
        return remove(4, oldImage);
    if (!report(4, true))
        return false;
    const QString defaultCfg = diskRoot + QLatin1String(defaultCfgName);
    if (!QFile::exists(defaultCfg))
        return true;
    return remove(5, defaultCfg);
}

bool CBurnProcess::remove(uint idx, const QString &path)
{
    if (isInterruptionRequested())
        return false;
    const bool ok = QFile::remove(path);
    writeStepRecord(ok ? QStringLiteral("Succeed to remove %1\n").arg(path)
                       : QStringLiteral("Failed to remove %1\n").arg(path));
    return report(idx, ok);
}

bool CBurnProcess::copy(uint idx, const QString &name)
{
    if (isInterruptionRequested())
        return false;
    const QString target = diskRoot + name;
    // The step only counts once the file is on the device: the band restarts
    // by itself soon after and must find the whole file.
    const bool ok = QFile::copy(QLatin1String(sourceFolder) + name, target)
        && syncFileToDisk(target);
    writeStepRecord(ok ? QStringLiteral("Succeed to copy %1\n").arg(name)
                       : QStringLiteral("Failed to copy %1\n").arg(name));
    return report(idx, ok);
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

bool CBurnProcess::report(uint idx, bool ok)
{
    // A stopped run tells the window nothing more.
    if (isInterruptionRequested())
        return false;
    emit processOk(idx, ok);
    return ok;
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

#include "diagnosticlog.h"

#include <QDateTime>
#include <QFile>
#include <QMutex>

namespace {
struct LogFile
{
    QMutex mutex;
    QFile file;
    qint64 maxBytes = 0;
    QtMessageHandler previous = nullptr;
};

LogFile &logFile()
{
    static LogFile log;
    return log;
}

void startOver(LogFile &log)
{
    const QString path = log.file.fileName();
    log.file.close();
    QFile::remove(path + QStringLiteral(".1"));
    QFile::rename(path, path + QStringLiteral(".1"));
    log.file.open(QIODevice::WriteOnly | QIODevice::Append);
}

void writeMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    LogFile &log = logFile();
    // A message raised while writing one (by the file itself) is only passed on.
    static thread_local bool writing = false;
    if (!writing) {
        writing = true;
        const QMutexLocker lock(&log.mutex);
        if (log.file.isOpen()) {
            if (log.file.size() >= log.maxBytes)
                startOver(log);
            log.file.write(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz ")).toUtf8()
                           + qFormatLogMessage(type, context, message).toUtf8() + '\n');
            log.file.flush();
        }
        writing = false;
    }
    if (log.previous)
        log.previous(type, context, message);
}
}

DiagnosticLog::DiagnosticLog(const QString &path, qint64 maxBytes)
{
    LogFile &log = logFile();
    {
        const QMutexLocker lock(&log.mutex);
        log.maxBytes = maxBytes;
        log.file.setFileName(path);
        log.file.open(QIODevice::WriteOnly | QIODevice::Append);
    }
    log.previous = qInstallMessageHandler(writeMessage);
    if (!log.file.isOpen())
        qWarning("Diagnostics cannot be kept in %s: %s", qPrintable(path), qPrintable(log.file.errorString()));
}

DiagnosticLog::~DiagnosticLog()
{
    LogFile &log = logFile();
    qInstallMessageHandler(log.previous);
    const QMutexLocker lock(&log.mutex);
    log.file.close();
    log.previous = nullptr;
}

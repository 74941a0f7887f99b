#include "readerreasons.h"

#include <QMutex>
#include <QMutexLocker>

namespace {

// A message may come from another thread while a file is read.
QMutex activeLock;
ReaderReasons *active = nullptr;

} // namespace

ReaderReasons::ReaderReasons()
{
    QMutexLocker lock(&activeLock);
    active = this;
    previous = qInstallMessageHandler(keep);
}

ReaderReasons::~ReaderReasons()
{
    QMutexLocker lock(&activeLock);
    qInstallMessageHandler(previous);
    active = nullptr;
}

void ReaderReasons::keep(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    QtMessageHandler passOn = nullptr;
    {
        QMutexLocker lock(&activeLock);
        if (!active)
            return;
        active->messages.append(message);
        passOn = active->previous;
    }
    if (passOn)
        passOn(type, context, message);
}

QString ReaderReasons::refusal(const QString &what, const QString &file) const
{
    QMutexLocker lock(&activeLock);
    for (const QString &message : messages) {
        if (message.startsWith(QLatin1StringView("Fail")))
            return QStringLiteral("cannot use the %1 definition %2: %3").arg(what, file, message.simplified());
    }
    return QStringLiteral("cannot use the %1 definition %2 (missing or malformed)").arg(what, file);
}

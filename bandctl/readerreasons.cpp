#include "readerreasons.h"

namespace {

ReaderReasons *active = nullptr; // the readers run on the main thread, one at a time

} // namespace

ReaderReasons::ReaderReasons()
{
    active = this;
    previous = qInstallMessageHandler(keep);
}

ReaderReasons::~ReaderReasons()
{
    qInstallMessageHandler(previous);
    active = nullptr;
}

void ReaderReasons::keep(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!active)
        return;
    active->messages.append(message);
    if (active->previous)
        active->previous(type, context, message);
}

QString ReaderReasons::refusal(const QString &what, const QString &file) const
{
    for (const QString &message : messages) {
        if (message.startsWith(QLatin1StringView("Fail")))
            return QStringLiteral("cannot use the %1 definition %2: %3").arg(what, file, message.simplified());
    }
    return QStringLiteral("cannot use the %1 definition %2 (missing or malformed)").arg(what, file);
}

#include "traceroute.h"

#include <QFile>
#include <QtGlobal>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool tracing = false;

// Qt's debug messages (the watcher's, the definition readers') belong with
// the trace; warnings and worse go to standard error as usual.
void routeMessage(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg) {
        if (tracing)
            std::printf("%s\n", message.toLocal8Bit().constData());
        return;
    }
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

int openDestination(TraceRoute::Destination destination, const QString &file)
{
    switch (destination) {
    case TraceRoute::Destination::Nowhere: return open("/dev/null", O_WRONLY | O_CLOEXEC);
    case TraceRoute::Destination::StandardError: return fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    case TraceRoute::Destination::File:
        return open(QFile::encodeName(file).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    }
    return -1;
}

} // namespace

TraceRoute::~TraceRoute()
{
    std::fflush(stdout);
}

bool TraceRoute::route(Destination destination, const QString &file, QString *error)
{
    std::fflush(stdout);
    const int target = openDestination(destination, file);
    if (target < 0) {
        *error = QStringLiteral("cannot open the trace file %1: %2").arg(file, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    const int saved = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (saved < 0 || dup2(target, STDOUT_FILENO) < 0) {
        *error = QStringLiteral("cannot route the trace: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        if (saved >= 0)
            close(saved);
        close(target);
        return false;
    }
    close(target);
    savedStdout = saved;
    tracing = destination != Destination::Nowhere;
    qInstallMessageHandler(routeMessage);
    return true;
}

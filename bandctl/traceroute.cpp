#include "traceroute.h"

#include <QFile>
#include <QtGlobal>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

// The descriptor calls that differ between the C libraries. Windows has no
// exec to inherit across, so no close-on-exec is needed there.
#ifdef _WIN32
const char *const kNullDevice = "NUL";
constexpr int kCloseOnExec = 0;
int duplicate(int fd) { return _dup(fd); }
#else
const char *const kNullDevice = "/dev/null";
constexpr int kCloseOnExec = O_CLOEXEC;
int duplicate(int fd) { return fcntl(fd, F_DUPFD_CLOEXEC, 3); }
#endif

// The trace holds the protocol alone: Qt's debug messages (the watcher's,
// the definition readers') go nowhere; warnings and worse go to standard
// error as usual.
void routeMessage(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

int openDestination(TraceRoute::Destination destination, const QString &file)
{
    switch (destination) {
    case TraceRoute::Destination::Nowhere: return open(kNullDevice, O_WRONLY | kCloseOnExec);
    case TraceRoute::Destination::StandardError: return duplicate(STDERR_FILENO);
    case TraceRoute::Destination::File:
        return open(QFile::encodeName(file).constData(), O_WRONLY | O_CREAT | O_TRUNC | kCloseOnExec, 0644);
    }
    return -1;
}

} // namespace

TraceRoute::~TraceRoute()
{
    std::fflush(stdout);
}

bool TraceRoute::finish(QString *error)
{
    std::fflush(stdout);
    if (!std::ferror(stdout))
        return true;
    *error = QStringLiteral("the trace could not be written to %1").arg(traceName);
    return false;
}

bool TraceRoute::route(Destination destination, const QString &file, QString *error)
{
    std::fflush(stdout);
    const int target = openDestination(destination, file);
    if (target < 0) {
        *error = QStringLiteral("cannot open the trace file %1: %2").arg(file, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    const int saved = duplicate(STDOUT_FILENO);
    if (saved < 0 || dup2(target, STDOUT_FILENO) < 0) {
        *error = QStringLiteral("cannot route the trace: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        if (saved >= 0)
            close(saved);
        close(target);
        return false;
    }
    close(target);
    savedStdout = saved;
    traceName = destination == Destination::File ? file : QStringLiteral("standard error");
    qInstallMessageHandler(routeMessage);
    return true;
}

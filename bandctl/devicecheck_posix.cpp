#include "devicecheck.h"

#include "portholder.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

DeviceProblem busy(const QString &path)
{
    return {ExitBandFailed, QStringLiteral("%1 is in use by another program (close it, e.g. the tester window "
                                           "or another bandctl, and try again)").arg(path)};
}

// /dev/null, /dev/zero and their kind open fine but are no terminal. A port
// that will not open here (busy, no permission) is left for the link to name.
bool isOtherCharacterDevice(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    termios settings{};
    const bool terminal = ::tcgetattr(fd, &settings) == 0;
    ::close(fd);
    return !terminal;
}

} // namespace

bool deviceExists(const QString &path)
{
    return QFile::exists(path);
}

std::optional<DeviceProblem> notADevice(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt; // missing: the caller says so in its own words
    if (S_ISDIR(info.st_mode))
        return DeviceProblem{ExitUsage, QStringLiteral("%1 is a folder, not a serial device").arg(path)};
    if (S_ISREG(info.st_mode))
        return DeviceProblem{ExitUsage, QStringLiteral("%1 is a regular file, not a serial device").arg(path)};
    if (!S_ISCHR(info.st_mode) || isOtherCharacterDevice(path))
        return DeviceProblem{ExitUsage, QStringLiteral("%1 is not a serial device").arg(path)};
    return std::nullopt;
}

DeviceProblem whyNotOpened(const QString &path)
{
    if (heldByAnotherProgram(path))
        return busy(path);
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENXIO || error == ENODEV)
            return {ExitNoBand, QStringLiteral("no band: %1 went away").arg(path)};
        if (error == EACCES || error == EPERM)
            return {ExitBandFailed, QStringLiteral("no permission to open %1 (install the band's udev rule, or "
                                                   "join the group that owns the port)").arg(path)};
        return {ExitBandFailed, QStringLiteral("cannot open %1: %2").arg(path, errorText(error))};
    }
    termios settings{};
    const bool terminal = ::tcgetattr(fd, &settings) == 0;
    ::close(fd);
    if (!terminal)
        return {ExitUsage, QStringLiteral("%1 is not a serial device").arg(path)};
    return {ExitBandFailed, QStringLiteral("cannot open %1 as a serial port").arg(path)};
}

#include "bandend.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace bandsim {

namespace {

bool makeRaw(int fd)
{
    termios attributes{};
    if (tcgetattr(fd, &attributes) != 0)
        return false;
    cfmakeraw(&attributes);
    return tcsetattr(fd, TCSANOW, &attributes) == 0;
}

bool openBothSides(BandEnd &end)
{
    end.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (end.master < 0 || grantpt(end.master) != 0 || unlockpt(end.master) != 0)
        return false;
    char path[128];
    if (ptsname_r(end.master, path, sizeof path) != 0)
        return false;
    end.clientPath = path;
    end.slave = open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (end.slave < 0 || !makeRaw(end.slave) || !makeRaw(end.master))
        return false;
    const int flags = fcntl(end.master, F_GETFL);
    return flags >= 0 && fcntl(end.master, F_SETFL, flags | O_NONBLOCK) == 0;
}

void closeFd(int &fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

timespec toTimespec(std::chrono::nanoseconds wait)
{
    if (wait.count() < 0)
        wait = std::chrono::nanoseconds(0);
    timespec result{};
    result.tv_sec = time_t(wait.count() / 1000000000);
    result.tv_nsec = long(wait.count() % 1000000000);
    return result;
}

} // namespace

bool openBandEnd(BandEnd &end)
{
    if (openBothSides(end))
        return true;
    closeBandEnd(end);
    return false;
}

void closeBandEnd(BandEnd &end)
{
    closeFd(end.master);
    closeFd(end.slave);
    end.clientPath.clear();
}

long readBandEnd(BandEnd &end, uint8_t *buffer, size_t size)
{
    for (;;) {
        const ssize_t count = read(end.master, buffer, size);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return 0;
        return count > 0 ? long(count) : -1; // the band holds a slave open: no end of file
    }
}

long writeBandEnd(BandEnd &end, const uint8_t *data, size_t size)
{
    for (;;) {
        const ssize_t written = write(end.master, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return 0;
        return written < 0 ? -1 : long(written);
    }
}

bool waitBandEnd(BandEnd &end, WakeUp wake, bool wantRead, bool wantWrite,
                 const std::chrono::nanoseconds *timeout, Readiness *ready)
{
    pollfd fds[2] = {{wake, POLLIN, 0}, {end.master, 0, 0}};
    if (wantRead)
        fds[1].events |= POLLIN;
    if (wantWrite)
        fds[1].events |= POLLOUT;
    timespec limit = toTimespec(timeout ? *timeout : std::chrono::nanoseconds(0));
    if (ppoll(fds, 2, timeout ? &limit : nullptr, nullptr) < 0)
        return errno == EINTR;
    if (fds[1].revents & (POLLERR | POLLNVAL | POLLHUP)) // the band holds a slave open: never expected
        return false;
    ready->woken = fds[0].revents & POLLIN;
    ready->readable = fds[1].revents & POLLIN;
    ready->writable = fds[1].revents & POLLOUT;
    return true;
}

int bytesWaitingForClient(const BandEnd &end)
{
    int count = 0;
    return ioctl(end.slave, FIONREAD, &count) == 0 ? count : 0;
}

WakeUp openWakeUp()
{
    return eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

bool isOpen(WakeUp wake)
{
    return wake >= 0;
}

void signalWakeUp(WakeUp wake)
{
    const uint64_t one = 1;
    // A full counter still wakes the thread, so a failed write loses nothing.
    [[maybe_unused]] ssize_t written = write(wake, &one, sizeof one);
}

void drainWakeUp(WakeUp wake)
{
    uint64_t count = 0;
    [[maybe_unused]] ssize_t got = read(wake, &count, sizeof count);
}

bool waitForWakeUp(WakeUp wake, std::chrono::milliseconds timeout)
{
    pollfd fd{wake, POLLIN, 0};
    if (poll(&fd, 1, int(timeout.count())) <= 0)
        return false;
    drainWakeUp(wake);
    return true;
}

void closeWakeUp(WakeUp &wake)
{
    closeFd(wake);
}

} // namespace bandsim

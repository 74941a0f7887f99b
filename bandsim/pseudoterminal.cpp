#include "pseudoterminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdint>

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

bool openBothSides(PseudoTerminal &pty)
{
    pty.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.master < 0 || grantpt(pty.master) != 0 || unlockpt(pty.master) != 0)
        return false;
    char path[128];
    if (ptsname_r(pty.master, path, sizeof path) != 0)
        return false;
    pty.slavePath = path;
    pty.slave = open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.slave < 0 || !makeRaw(pty.slave) || !makeRaw(pty.master))
        return false;
    const int flags = fcntl(pty.master, F_GETFL);
    return flags >= 0 && fcntl(pty.master, F_SETFL, flags | O_NONBLOCK) == 0;
}

} // namespace

bool openPseudoTerminal(PseudoTerminal &pty)
{
    if (openBothSides(pty))
        return true;
    closePseudoTerminal(pty);
    return false;
}

void closePseudoTerminal(PseudoTerminal &pty)
{
    closeFd(pty.master);
    closeFd(pty.slave);
    pty.slavePath.clear();
}

int bytesWaitingForClient(const PseudoTerminal &pty)
{
    int count = 0;
    return ioctl(pty.slave, FIONREAD, &count) == 0 ? count : 0;
}

int openWakeUp()
{
    return eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

void signalWakeUp(int fd)
{
    const uint64_t one = 1;
    // A full counter still wakes the thread, so a failed write loses nothing.
    [[maybe_unused]] ssize_t written = write(fd, &one, sizeof one);
}

void drainWakeUp(int fd)
{
    uint64_t count = 0;
    [[maybe_unused]] ssize_t got = read(fd, &count, sizeof count);
}

void closeFd(int &fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

} // namespace bandsim

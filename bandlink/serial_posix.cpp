// The serial layer on POSIX systems: termios for the line, poll for the
// timeouts, TIOCEXCL and flock for exclusive use.
#include "serial_platform.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace bandlink {
namespace {

int64_t nowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Milliseconds left until the deadline, clamped to what poll takes.
int msUntil(int64_t deadline)
{
    const int64_t left = deadline - nowMs();
    if (left <= 0)
        return 0;
    return left > 1000000000 ? 1000000000 : int(left);
}

// No echo, no line editing, no signals, no translation of any byte; speed
// and framing stay as the device had them (so not cfmakeraw).
bool makeRaw(int fd)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return false;
    t.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL
                           | IXON | IXOFF | IXANY);
    t.c_oflag &= ~tcflag_t(OPOST | ONLCR | OCRNL);
    t.c_lflag &= ~tcflag_t(ICANON | ECHO | ECHOE | ECHOK | ECHONL | ISIG | IEXTEN);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

struct Speed {
    int32_t rate;
    speed_t code;
};

const Speed kSpeeds[] = {{115200, B115200}, {57600, B57600}, {38400, B38400}, {19200, B19200},
                         {9600, B9600}, {4800, B4800}, {2400, B2400}, {1200, B1200},
                         {600, B600}, {300, B300}};

bool speedFor(int32_t rate, speed_t *speed)
{
    for (const Speed &s : kSpeeds) {
        if (s.rate == rate) {
            *speed = s.code;
            return true;
        }
    }
    return false;
}

// 0 for a speed the serial layer never sets.
int64_t rateOf(speed_t speed)
{
    for (const Speed &s : kSpeeds) {
        if (s.code == speed)
            return s.rate;
    }
    return 0;
}

tcflag_t sizeFlag(int dataBits)
{
    switch (dataBits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
    }
}

// Waits until the device has bytes for us or room for more. False when the
// deadline has passed or the device has gone.
bool waitFor(int fd, short events, int64_t deadline)
{
    for (;;) {
        pollfd p{fd, events, 0};
        const int ready = poll(&p, 1, msUntil(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || (p.revents & (POLLERR | POLLNVAL)) != 0)
            return false;
        // After a hang-up, bytes that arrived before it can still be read.
        return (p.revents & events) != 0;
    }
}

// After part of a transfer has come, the rest cannot arrive sooner than the
// line carries it: sleeping that long (ten bits a byte) instead of waking
// for every byte spares a thread reading a paced line one wake-up per byte.
void awaitLine(int fd, int32_t missing, int64_t deadline)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return;
    const int64_t rate = rateOf(cfgetispeed(&t));
    if (rate <= 0)
        return;
    const int64_t waitNs = std::min<int64_t>(missing * 10 * 1000000000LL / rate,
                                             (deadline - nowMs()) * 1000000LL);
    if (waitNs <= 0)
        return;
    const timespec pause{time_t(waitNs / 1000000000LL), long(waitNs % 1000000000LL)};
    nanosleep(&pause, nullptr);
}

// Waits until the driver has handed every byte to the device, within the
// transfer's deadline: tcdrain has no bound and would hang on a stalled port.
bool drainBy(int fd, int64_t deadline)
{
    for (;;) {
        int pending = 0;
        if (ioctl(fd, TIOCOUTQ, &pending) != 0)
            return false;
        if (pending == 0)
            return true;
        if (msUntil(deadline) == 0)
            return false;
        const timespec oneMs{0, 1000000};
        nanosleep(&oneMs, nullptr);
    }
}

} // namespace

void platformDefaultPath(uint8_t port, char *path, size_t size)
{
    snprintf(path, size, "/dev/ttyACM%u", unsigned(port));
}

SerialHandle platformOpen(const char *path)
{
    const int fd = open(path, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return kInvalidHandle;
    // TIOCEXCL keeps other users out; flock also keeps out privileged ones
    // and other programs that honour the lock.
    const bool ready = ioctl(fd, TIOCEXCL) == 0
                       && flock(fd, LOCK_EX | LOCK_NB) == 0
                       && makeRaw(fd)
                       && tcflush(fd, TCIOFLUSH) == 0;
    if (!ready) {
        close(fd);
        return kInvalidHandle;
    }
    return fd;
}

void platformClose(SerialHandle handle)
{
    if (handle != kInvalidHandle)
        close(handle);
}

int32_t platformRead(SerialHandle handle, uint8_t *buf, int32_t n, int64_t timeoutMs)
{
    const int64_t deadline = nowMs() + timeoutMs;
    int32_t got = 0;
    // In raw mode with no minimum count a read of an empty queue returns 0,
    // so wait for input first; a read of 0 after that means the device has
    // gone.
    while (got < n && waitFor(handle, POLLIN, deadline)) {
        const ssize_t r = read(handle, buf + got, size_t(n - got));
        if (r > 0) {
            got += int32_t(r);
            if (got < n)
                awaitLine(handle, n - got, deadline);
        } else if (r == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK))
            break; // end of file, EIO and the like: the device has gone
    }
    return got;
}

int32_t platformWrite(SerialHandle handle, const uint8_t *buf, int32_t n, int64_t timeoutMs)
{
    const int64_t deadline = nowMs() + timeoutMs;
    int32_t done = 0;
    while (done < n) {
        const ssize_t w = write(handle, buf + done, size_t(n - done));
        if (w > 0) {
            done += int32_t(w);
            continue;
        }
        if (w < 0 && errno == EINTR)
            continue;
        if (w == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            break;
        if (!waitFor(handle, POLLOUT, deadline))
            break;
    }
    // Purging after a successful drain would throw away bytes that a
    // pseudo-terminal is still passing on; purge only what a failed drain
    // left behind.
    if (!drainBy(handle, deadline))
        tcflush(handle, TCOFLUSH);
    return done;
}

void platformDropInput(SerialHandle handle)
{
    tcflush(handle, TCIFLUSH);
}

bool platformSetSpeed(SerialHandle handle, int32_t rate)
{
    speed_t speed;
    termios t{};
    if (!speedFor(rate, &speed) || tcgetattr(handle, &t) != 0)
        return false;
    if (cfsetispeed(&t, speed) != 0 || cfsetospeed(&t, speed) != 0)
        return false;
    return tcsetattr(handle, TCSANOW, &t) == 0;
}

bool platformSetFraming(SerialHandle handle, int dataBits, Parity parity, bool twoStopBits)
{
    termios t{};
    if (tcgetattr(handle, &t) != 0)
        return false;
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CSTOPB);
    t.c_cflag |= sizeFlag(dataBits);
    if (parity != Parity::None)
        t.c_cflag |= PARENB;
    if (parity == Parity::Odd)
        t.c_cflag |= PARODD;
    if (twoStopBits)
        t.c_cflag |= CSTOPB;
    tcflush(handle, TCIOFLUSH);
    return tcsetattr(handle, TCSANOW, &t) == 0;
}

} // namespace bandlink

// The serial port as the rest of the library sees it: a fixed set of rates
// and framings, and transfers bounded by 10 ms per byte plus 100 ms. The
// uart_* functions work on the process-wide link's port.
#include "bandlink.h"
#include "link_internal.h"
#include "link_state.h"
#include "serial_platform.h"

#include <algorithm>
#include <cstring>

using namespace bandlink;

namespace {

const int32_t kSpeeds[] = {115200, 57600, 38400, 19200, 9600, 4800, 2400, 1200, 600, 300};

int64_t transferTimeoutMs(int32_t n)
{
    return kByteTimeoutMs * n + kTransferTimeoutMs;
}

bool parityFor(char letter, Parity *parity)
{
    switch (letter) {
    case 'N': case 'n': *parity = Parity::None; return true;
    case 'E': case 'e': *parity = Parity::Even; return true;
    case 'O': case 'o': *parity = Parity::Odd; return true;
    default: return false;
    }
}

bool isKnownSpeed(int32_t rate)
{
    for (int32_t speed : kSpeeds) {
        if (speed == rate)
            return true;
    }
    return false;
}

bool setSpeed(const sb_link &link, int32_t rate)
{
    if (!link.portOpen || !isKnownSpeed(rate))
        return false;
    return platformSetSpeed(link.handle, rate);
}

bool setProperty(const sb_link &link, int32_t dataBits, int32_t stopBits, char parity)
{
    Parity mode;
    if (!link.portOpen || dataBits < 5 || dataBits > 8 || !parityFor(parity, &mode))
        return false;
    return platformSetFraming(link.handle, dataBits, mode, stopBits != 1);
}

} // namespace

bool bandlink::openPort(sb_link &link, const char *path)
{
    // Closing first keeps the old handle from leaking and lets a retry
    // after a failed run open the device despite the exclusive lock.
    closePort(link);
    const SerialHandle handle = platformOpen(path);
    if (handle == kInvalidHandle)
        return false;
    link.handle = handle;
    link.portOpen = true;
    return true;
}

void bandlink::closePort(sb_link &link)
{
    if (link.portOpen)
        platformClose(link.handle);
    link.handle = kInvalidHandle;
    link.portOpen = false;
}

bool bandlink::setLine(sb_link &link, int32_t rate, int32_t dataBits, int32_t stopBits, char parity)
{
    // A speed that was set stays set when the framing is then refused.
    return setSpeed(link, rate) && setProperty(link, dataBits, stopBits, parity);
}

int32_t bandlink::sendBytes(sb_link &link, const uint8_t *buf, int32_t n)
{
    if (!link.portOpen || buf == nullptr || n <= 0)
        return 0;
    return platformWrite(link.handle, buf, n, transferTimeoutMs(n));
}

int32_t bandlink::receiveBy(sb_link &link, uint8_t *buf, int32_t n, Deadline deadline)
{
    if (!link.portOpen || buf == nullptr || n <= 0)
        return 0;
    using std::chrono::milliseconds;
    const int64_t left = std::chrono::ceil<milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0)
        return 0;
    return platformRead(link.handle, buf, n, std::min(left, transferTimeoutMs(n)));
}

void bandlink::dropInput(sb_link &link)
{
    if (link.portOpen)
        platformDropInput(link.handle);
}

bool uart_bind_device_path(uint8_t port, const char *path)
{
    char *slot = linkState().boundPath[port];
    if (path == nullptr || path[0] == '\0') {
        slot[0] = '\0';
        return true;
    }
    const size_t length = strnlen(path, kMaxPathLength + 1);
    if (length > kMaxPathLength)
        return false;
    memcpy(slot, path, length + 1);
    return true;
}

const char *bandlink::portDevicePath(uint8_t port, PortPath &buffer)
{
    const char *bound = linkState().boundPath[port];
    if (bound[0] != '\0')
        return bound;
    platformDefaultPath(port, buffer, sizeof buffer);
    return buffer;
}

bool uart_open(uint8_t port)
{
    PortPath buffer;
    return openPort(*defaultLink(), portDevicePath(port, buffer));
}

void uart_close(void)
{
    closePort(*defaultLink());
}

int32_t uart_recv(uint8_t *buf, int32_t n)
{
    // Bounded by the transfer's own timeout alone.
    return receiveBy(*defaultLink(), buf, n, Deadline::max());
}

int32_t uart_send(const uint8_t *buf, int32_t n)
{
    return sendBytes(*defaultLink(), buf, n);
}

bool uart_setSpeed(int32_t rate)
{
    return setSpeed(*defaultLink(), rate);
}

bool uart_setProperty(int32_t dataBits, int32_t stopBits, char parity)
{
    return setProperty(*defaultLink(), dataBits, stopBits, parity);
}

bool uart_set(int32_t rate, int32_t dataBits, int32_t stopBits, char parity)
{
    return uart_setSpeed(rate) && uart_setProperty(dataBits, stopBits, parity);
}

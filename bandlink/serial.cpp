// The serial port as the rest of the library sees it: one port per process,
// a fixed set of rates and framings, and transfers bounded by 10 ms per byte
// plus 100 ms.
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

} // namespace

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

bool uart_open(uint8_t port)
{
    // Closing first keeps the old handle from leaking and lets a retry
    // after a failed run open the device despite the exclusive lock.
    uart_close();
    LinkState &state = linkState();
    char defaultPath[32];
    const char *path = state.boundPath[port];
    if (path[0] == '\0') {
        platformDefaultPath(port, defaultPath, sizeof defaultPath);
        path = defaultPath;
    }
    const SerialHandle handle = platformOpen(path);
    if (handle == kInvalidHandle)
        return false;
    state.handle = handle;
    state.portOpen = true;
    return true;
}

void uart_close(void)
{
    LinkState &state = linkState();
    if (state.portOpen)
        platformClose(state.handle);
    state.handle = kInvalidHandle;
    state.portOpen = false;
}

int32_t uart_recv(uint8_t *buf, int32_t n)
{
    const LinkState &state = linkState();
    if (!state.portOpen || buf == nullptr || n <= 0)
        return 0;
    return platformRead(state.handle, buf, n, transferTimeoutMs(n));
}

int32_t uart_send(const uint8_t *buf, int32_t n)
{
    const LinkState &state = linkState();
    if (!state.portOpen || buf == nullptr || n <= 0)
        return 0;
    return platformWrite(state.handle, buf, n, transferTimeoutMs(n));
}

int32_t bandlink::receiveBy(uint8_t *buf, int32_t n, Deadline deadline)
{
    const LinkState &state = linkState();
    if (!state.portOpen || buf == nullptr || n <= 0)
        return 0;
    using std::chrono::milliseconds;
    const int64_t left = std::chrono::ceil<milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0)
        return 0;
    return platformRead(state.handle, buf, n, std::min(left, transferTimeoutMs(n)));
}

void bandlink::dropInput()
{
    const LinkState &state = linkState();
    if (state.portOpen)
        platformDropInput(state.handle);
}

bool uart_setSpeed(int32_t rate)
{
    const LinkState &state = linkState();
    if (!state.portOpen || !isKnownSpeed(rate))
        return false;
    return platformSetSpeed(state.handle, rate);
}

bool uart_setProperty(int32_t dataBits, int32_t stopBits, char parity)
{
    const LinkState &state = linkState();
    Parity mode;
    if (!state.portOpen || dataBits < 5 || dataBits > 8 || !parityFor(parity, &mode))
        return false;
    return platformSetFraming(state.handle, dataBits, mode, stopBits != 1);
}

bool uart_set(int32_t rate, int32_t dataBits, int32_t stopBits, char parity)
{
    if (!linkState().portOpen || !uart_setSpeed(rate))
        return false;
    return uart_setProperty(dataBits, stopBits, parity);
}

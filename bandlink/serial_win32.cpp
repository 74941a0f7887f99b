// The serial layer on Windows: the communications API, whose timeouts give
// the 10 ms per byte plus 100 ms bound by themselves. A named pipe (the
// virtual band's cable) opens the same way; it has no line settings and no
// timeouts, so for a pipe the comm calls' failures are expected, and a read
// waits for its bytes against the caller's deadline itself.
#include "serial_platform.h"

#include <windows.h>

#include <cstdio>

namespace bandlink {
namespace {

HANDLE toHandle(SerialHandle handle)
{
    return static_cast<HANDLE>(handle);
}

bool isPipe(SerialHandle handle)
{
    return GetFileType(toHandle(handle)) == FILE_TYPE_PIPE;
}

// Bytes a pipe holds for us; -1 when its other end is gone.
long pipeBytesWaiting(HANDLE pipe)
{
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr))
        return -1;
    return long(available);
}

// Reads only what is there, so the read never blocks past the deadline.
int32_t readPipe(HANDLE pipe, uint8_t *buf, int32_t n, int64_t timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + ULONGLONG(timeoutMs > 0 ? timeoutMs : 0);
    int32_t got = 0;
    while (got < n) {
        const long available = pipeBytesWaiting(pipe);
        if (available < 0)
            break; // the band dropped off
        if (available > 0) {
            DWORD chunk = 0;
            const DWORD want = DWORD(available < n - got ? available : n - got);
            if (!ReadFile(pipe, buf + got, want, &chunk, nullptr))
                break;
            got += int32_t(chunk);
            continue;
        }
        if (GetTickCount64() >= deadline)
            break;
        Sleep(1);
    }
    return got;
}

void dropPipeInput(HANDLE pipe)
{
    uint8_t scratch[256];
    long available = 0;
    while ((available = pipeBytesWaiting(pipe)) > 0) {
        DWORD chunk = 0;
        if (!ReadFile(pipe, scratch, DWORD(available < long(sizeof scratch) ? available : sizeof scratch), &chunk, nullptr))
            break;
    }
}

} // namespace

void platformDefaultPath(uint8_t port, char *path, size_t size)
{
    snprintf(path, size, "\\\\.\\COM%u", unsigned(port));
}

SerialHandle platformOpen(const char *path)
{
    wchar_t widePath[256];
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, 256) == 0)
        return kInvalidHandle;
    // Share mode 0: nobody else may have the port while we do.
    const HANDLE handle = CreateFileW(widePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return kInvalidHandle;
    SetupComm(handle, 256, 256);
    COMMTIMEOUTS timeouts{};
    GetCommTimeouts(handle, &timeouts);
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutMultiplier = 10;
    timeouts.ReadTotalTimeoutConstant = 100;
    timeouts.WriteTotalTimeoutMultiplier = 10;
    timeouts.WriteTotalTimeoutConstant = 100;
    SetCommTimeouts(handle, &timeouts);
    PurgeComm(handle, PURGE_TXCLEAR | PURGE_RXCLEAR);
    return handle;
}

void platformClose(SerialHandle handle)
{
    if (handle != kInvalidHandle)
        CloseHandle(toHandle(handle));
}

// A port's own timeouts bound a transfer; only a read cut short by a
// request's deadline needs a bound of its own for once. A pipe has no
// timeouts: its read keeps the deadline itself.
int32_t platformRead(SerialHandle handle, uint8_t *buf, int32_t n, int64_t timeoutMs)
{
    if (isPipe(handle))
        return readPipe(toHandle(handle), buf, n, timeoutMs);
    const HANDLE port = toHandle(handle);
    COMMTIMEOUTS usual{};
    const bool shortened = timeoutMs < 10 * int64_t(n) + 100 && GetCommTimeouts(port, &usual);
    if (shortened) {
        COMMTIMEOUTS once = usual;
        once.ReadTotalTimeoutMultiplier = 0;
        once.ReadTotalTimeoutConstant = DWORD(timeoutMs > 0 ? timeoutMs : 1); // 0 would mean no limit
        SetCommTimeouts(port, &once);
    }
    DWORD got = 0;
    ReadFile(port, buf, DWORD(n), &got, nullptr);
    if (shortened)
        SetCommTimeouts(port, &usual);
    return int32_t(got);
}

int32_t platformWrite(SerialHandle handle, const uint8_t *buf, int32_t n, int64_t /*timeoutMs*/)
{
    DWORD done = 0;
    WriteFile(toHandle(handle), buf, DWORD(n), &done, nullptr);
    if (isPipe(handle))
        return int32_t(done); // nothing to flush: the band reads from the pipe itself
    // After a successful flush nothing is left to purge, and a purge would
    // throw away bytes a pseudo-terminal is still passing on (under wine);
    // purge only what a failed flush left behind.
    if (!FlushFileBuffers(toHandle(handle)))
        PurgeComm(toHandle(handle), PURGE_TXCLEAR);
    return int32_t(done);
}

void platformDropInput(SerialHandle handle)
{
    if (isPipe(handle))
        return dropPipeInput(toHandle(handle));
    PurgeComm(toHandle(handle), PURGE_RXCLEAR);
}

bool platformSetSpeed(SerialHandle handle, int32_t rate)
{
    if (isPipe(handle))
        return true; // a pipe has no line speed
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(toHandle(handle), &dcb))
        return false;
    dcb.BaudRate = DWORD(rate);
    return SetCommState(toHandle(handle), &dcb) != 0;
}

bool platformSetFraming(SerialHandle handle, int dataBits, Parity parity, bool twoStopBits)
{
    if (isPipe(handle)) {
        dropPipeInput(toHandle(handle));
        return true; // nor framing
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(toHandle(handle), &dcb))
        return false;
    dcb.ByteSize = BYTE(dataBits);
    dcb.Parity = parity == Parity::Even ? EVENPARITY : parity == Parity::Odd ? ODDPARITY : NOPARITY;
    dcb.StopBits = twoStopBits ? TWOSTOPBITS : ONESTOPBIT;
    PurgeComm(toHandle(handle), PURGE_TXCLEAR | PURGE_RXCLEAR);
    return SetCommState(toHandle(handle), &dcb) != 0;
}

} // namespace bandlink

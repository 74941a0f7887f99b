// The band's end on Windows: the server side of a named pipe, which the
// client opens like a port (\\.\pipe\band-…). Overlapped I/O stands in for
// the non-blocking descriptor: one read is kept pending, a write is taken
// whole and counts as done once the pipe has it. A client that closes the
// pipe is waited for again, as a port stays there for the next one to open.
#include "bandend.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

namespace bandsim {

struct PipeState {
    HANDLE pipe = INVALID_HANDLE_VALUE;
    OVERLAPPED connect{};
    OVERLAPPED read{};
    OVERLAPPED write{};
    bool connecting = false;
    bool connected = false;
    bool readPending = false;
    bool writePending = false;
    uint8_t readBuffer[512];
    DWORD readGot = 0; // bytes of a finished read not yet handed out
    std::vector<uint8_t> writeBuffer;

    // Cancels the pending connect, read and write, and waits for each to
    // end: an OVERLAPPED must outlive its operation.
    void cancelPending()
    {
        CancelIoEx(pipe, nullptr);
        DWORD ignored = 0;
        if (connecting)
            GetOverlappedResult(pipe, &connect, &ignored, TRUE);
        if (readPending)
            GetOverlappedResult(pipe, &read, &ignored, TRUE);
        if (writePending)
            GetOverlappedResult(pipe, &write, &ignored, TRUE);
        connecting = readPending = writePending = false;
    }

    ~PipeState()
    {
        if (pipe != INVALID_HANDLE_VALUE) {
            cancelPending();
            // What the client has not read yet goes with the band, as a
            // port's does when its cable is pulled.
            DisconnectNamedPipe(pipe);
            CloseHandle(pipe);
        }
        for (OVERLAPPED *o : {&connect, &read, &write}) {
            if (o->hEvent)
                CloseHandle(o->hEvent);
        }
    }
};

namespace {

constexpr DWORD kPipeBuffer = 64 * 1024;

std::wstring uniquePipeName()
{
    static std::atomic<unsigned> counter{0};
    return L"\\\\.\\pipe\\band-" + std::to_wstring(GetCurrentProcessId()) + L"-"
        + std::to_wstring(++counter);
}

void startRead(PipeState &state);

// Waits for the next client; a client already there is taken at once.
bool startConnect(PipeState &state)
{
    state.connected = false;
    state.connecting = false;
    if (ConnectNamedPipe(state.pipe, &state.connect) || GetLastError() == ERROR_PIPE_CONNECTED) {
        state.connected = true;
        startRead(state);
        return true;
    }
    if (GetLastError() != ERROR_IO_PENDING)
        return false;
    state.connecting = true;
    return true;
}

// The client went away: what was in flight is lost, as on a port nobody has open.
bool reconnect(PipeState &state)
{
    state.cancelPending();
    state.readGot = 0;
    DisconnectNamedPipe(state.pipe);
    return startConnect(state);
}

void startRead(PipeState &state)
{
    DWORD got = 0;
    if (ReadFile(state.pipe, state.readBuffer, sizeof state.readBuffer, &got, &state.read)) {
        state.readGot = got;
        return;
    }
    if (GetLastError() == ERROR_IO_PENDING)
        state.readPending = true;
    // Any other failure (the client gone) shows at the next read.
}

bool isGone(DWORD error)
{
    return error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA || error == ERROR_PIPE_NOT_CONNECTED;
}

// Finishes a connect, read or write that has completed, without waiting.
void collect(PipeState &state)
{
    DWORD done = 0;
    if (state.connecting && HasOverlappedIoCompleted(&state.connect)) {
        state.connecting = false;
        if (GetOverlappedResult(state.pipe, &state.connect, &done, FALSE)) {
            state.connected = true;
            startRead(state);
        } else {
            startConnect(state);
        }
    }
    if (state.readPending && HasOverlappedIoCompleted(&state.read)) {
        state.readPending = false;
        if (GetOverlappedResult(state.pipe, &state.read, &done, FALSE))
            state.readGot = done;
        else if (isGone(GetLastError()))
            reconnect(state);
    }
    if (state.writePending && HasOverlappedIoCompleted(&state.write)) {
        state.writePending = false;
        if (!GetOverlappedResult(state.pipe, &state.write, &done, FALSE) && isGone(GetLastError()))
            reconnect(state);
    }
}

bool createPipe(PipeState &state, const std::wstring &name)
{
    for (OVERLAPPED *o : {&state.connect, &state.read, &state.write}) {
        o->hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!o->hEvent)
            return false;
    }
    // One instance: a second client is refused, as a port held elsewhere is.
    state.pipe = CreateNamedPipeW(name.c_str(),
                                  PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                  PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                                  1, kPipeBuffer, kPipeBuffer, 0, nullptr);
    return state.pipe != INVALID_HANDLE_VALUE && startConnect(state);
}

} // namespace

bool openBandEnd(BandEnd &end)
{
    auto state = std::make_shared<PipeState>();
    const std::wstring name = uniquePipeName();
    if (!createPipe(*state, name))
        return false;
    end.pipe = state;
    end.clientPath = std::string(name.begin(), name.end()); // plain ASCII
    return true;
}

void closeBandEnd(BandEnd &end)
{
    end.pipe.reset();
    end.clientPath.clear();
}

long readBandEnd(BandEnd &end, uint8_t *buffer, size_t size)
{
    PipeState &state = *end.pipe;
    collect(state);
    if (state.readGot == 0)
        return 0;
    const size_t count = std::min<size_t>(size, state.readGot);
    std::memcpy(buffer, state.readBuffer, count);
    std::memmove(state.readBuffer, state.readBuffer + count, state.readGot - count);
    state.readGot -= DWORD(count);
    if (state.readGot == 0 && state.connected && !state.readPending)
        startRead(state);
    return long(count);
}

long writeBandEnd(BandEnd &end, const uint8_t *data, size_t size)
{
    PipeState &state = *end.pipe;
    collect(state);
    if (!state.connected)
        return long(size); // nobody has the port open: the bytes go nowhere
    if (state.writePending)
        return 0;
    state.writeBuffer.assign(data, data + size);
    if (!WriteFile(state.pipe, state.writeBuffer.data(), DWORD(size), nullptr, &state.write)) {
        if (GetLastError() == ERROR_IO_PENDING)
            state.writePending = true;
        else if (isGone(GetLastError()))
            return reconnect(state) ? long(size) : -1;
        else
            return -1;
    }
    return long(size);
}

bool waitBandEnd(BandEnd &end, WakeUp wake, bool wantRead, bool wantWrite,
                 const std::chrono::nanoseconds *timeout, Readiness *ready)
{
    PipeState &state = *end.pipe;
    collect(state);
    const bool canRead = state.readGot > 0;
    const bool canWrite = !state.connected || !state.writePending;
    if ((wantRead && canRead) || (wantWrite && canWrite)) {
        ready->readable = wantRead && canRead;
        ready->writable = wantWrite && canWrite;
        ready->woken = WaitForSingleObject(wake, 0) == WAIT_OBJECT_0;
        return true;
    }

    HANDLE handles[3] = {wake};
    DWORD count = 1;
    if (state.connecting)
        handles[count++] = state.connect.hEvent;
    if (state.readPending)
        handles[count++] = state.read.hEvent;
    if (state.writePending)
        handles[count++] = state.write.hEvent;
    DWORD ms = INFINITE;
    if (timeout) // rounded up, so a short wait does not turn into a busy loop
        ms = DWORD(std::max<long long>(0, (timeout->count() + 999999) / 1000000));
    const DWORD result = WaitForMultipleObjects(count, handles, FALSE, ms);
    if (result == WAIT_FAILED)
        return false;
    ready->woken = WaitForSingleObject(wake, 0) == WAIT_OBJECT_0;
    collect(state);
    ready->readable = wantRead && state.readGot > 0;
    ready->writable = wantWrite && (!state.connected || !state.writePending);
    return true;
}

int bytesWaitingForClient(const BandEnd &)
{
    return 0;
}

WakeUp openWakeUp()
{
    return CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

bool isOpen(WakeUp wake)
{
    return wake != nullptr;
}

void signalWakeUp(WakeUp wake)
{
    SetEvent(wake);
}

void drainWakeUp(WakeUp wake)
{
    ResetEvent(wake);
}

bool waitForWakeUp(WakeUp wake, std::chrono::milliseconds timeout)
{
    if (WaitForSingleObject(wake, DWORD(timeout.count())) != WAIT_OBJECT_0)
        return false;
    drainWakeUp(wake);
    return true;
}

void closeWakeUp(WakeUp &wake)
{
    if (wake)
        CloseHandle(wake);
    wake = nullptr;
}

} // namespace bandsim

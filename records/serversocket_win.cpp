#include "serversocket.h"

#include <winsock2.h>

bool waitForSocket(int socket, bool forWriting, int timeoutMs)
{
    WSAPOLLFD entry{SOCKET(socket), short(forWriting ? POLLOUT : POLLIN), 0};
    return WSAPoll(&entry, 1, timeoutMs) > 0;
}

// A wait on a socket (the client library's select()) is an operation on its
// handle: cancelling the handle's operations ends it with an error, which
// the library takes as a broken connection. Shutting the socket down only
// tells the server.
void SocketCut::cut(int socket)
{
    ::shutdown(SOCKET(socket), SD_BOTH);
    // The second handle keeps the socket, and so its handle's number, from
    // going while it may still be cancelled; it is used for nothing else.
    HANDLE process = GetCurrentProcess();
    if (!DuplicateHandle(process, HANDLE(SOCKET(socket)), process, &held, 0, FALSE, DUPLICATE_SAME_ACCESS))
        held = nullptr;
    CancelIoEx(HANDLE(SOCKET(socket)), nullptr);
    cutDone = true;
}

void SocketCut::again()
{
    if (held)
        CancelIoEx(held, nullptr);
}

void SocketCut::release()
{
    if (held)
        CloseHandle(held);
    held = nullptr;
    cutDone = false;
}

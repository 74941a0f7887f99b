#include "serversocket.h"

#include <poll.h>
#include <sys/socket.h>

bool waitForSocket(int socket, bool forWriting, int timeoutMs)
{
    pollfd entry{socket, short(forWriting ? POLLOUT : POLLIN), 0};
    return ::poll(&entry, 1, timeoutMs) > 0;
}

void SocketCut::cut(int socket)
{
    ::shutdown(socket, SHUT_RDWR);
    cutDone = true;
}

void SocketCut::again()
{
    // A shut-down socket is ready at once for every wait that comes.
}

void SocketCut::release()
{
    cutDone = false;
}

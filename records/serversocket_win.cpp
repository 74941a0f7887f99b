#include "serversocket.h"

#include <winsock2.h>

bool waitForSocket(int socket, bool forWriting, int timeoutMs)
{
    WSAPOLLFD entry{SOCKET(socket), short(forWriting ? POLLOUT : POLLIN), 0};
    return WSAPoll(&entry, 1, timeoutMs) > 0;
}

void cutSocket(int socket)
{
    ::shutdown(SOCKET(socket), SD_BOTH);
}

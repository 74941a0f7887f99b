// The records server's socket, as the client library gives it: waiting on it
// and cutting it from another thread. One thin file per platform.
#pragma once

// True when the socket became ready (readable, or writable when forWriting)
// within timeoutMs; false on time-out or error.
bool waitForSocket(int socket, bool forWriting, int timeoutMs);

// A connection's socket cut from another thread: every transfer on it ends,
// on both sides, and the client library sees a closed connection. The
// descriptor stays its owner's. On POSIX systems a shut-down socket ends
// every wait on it, now and later. On Windows it ends none: the wait under
// way is cancelled, and one the library starts after the cut is cancelled
// by the next again(); the socket is held meanwhile, so that no other
// handle can take its number before release().
class SocketCut {
public:
    SocketCut() = default;
    ~SocketCut() { release(); }
    SocketCut(const SocketCut &) = delete;
    SocketCut &operator=(const SocketCut &) = delete;

    void cut(int socket);
    bool isCut() const { return cutDone; }
    // Ends a wait on the cut socket that began after cut().
    void again();
    // Once the socket's owner is done with it.
    void release();

private:
    bool cutDone = false;
    void *held = nullptr; // Windows: a second handle of the cut socket
};

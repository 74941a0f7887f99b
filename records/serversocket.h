// The records server's socket, as the client library gives it: waiting on it
// and cutting it from another thread. One thin file per platform.
#pragma once

// True when the socket became ready (readable, or writable when forWriting)
// within timeoutMs; false on time-out or error.
bool waitForSocket(int socket, bool forWriting, int timeoutMs);

// Ends every transfer on the socket at once, on both sides; the client
// library then sees a closed connection. The descriptor stays its owner's.
void cutSocket(int socket);

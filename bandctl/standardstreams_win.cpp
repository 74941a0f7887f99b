#include "standardstreams.h"

#include <fcntl.h>
#include <io.h>

#include <cstdint>

// The C runtime keeps 0-2 for the standard streams, so nothing opened later
// takes them; but one with nothing behind it (its handle -2) fails every
// write, and routing the trace through it fails: it is put on NUL instead.
void openClosedStandardStreams()
{
    constexpr intptr_t kNoHandle = -1, kNoStream = -2;
    for (int fd = 0; fd <= 2; ++fd) {
        const intptr_t handle = _get_osfhandle(fd);
        if (handle != kNoHandle && handle != kNoStream)
            continue;
        const int opened = _open("NUL", _O_RDWR);
        if (opened >= 0 && opened != fd) {
            _dup2(opened, fd);
            _close(opened);
        }
    }
}

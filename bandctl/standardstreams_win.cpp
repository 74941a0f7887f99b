#include "standardstreams.h"

#include <fcntl.h>
#include <io.h>

void openClosedStandardStreams()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (_get_osfhandle(fd) != -1)
            continue;
        const int opened = _open("NUL", _O_RDWR);
        if (opened >= 0 && opened != fd) {
            _dup2(opened, fd);
            _close(opened);
        }
    }
}

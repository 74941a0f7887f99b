#include "disksync.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool syncFolder(const QString &folderPath)
{
    const int fd = ::open(QFile::encodeName(folderPath).constData(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    // Some filesystems cannot sync a folder on its own and say so with
    // EINVAL; they write the entry together with the file's data.
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
    ::close(fd);
    return synced;
}

} // namespace

bool syncFileToDisk(QFile &file)
{
    if (!file.isOpen() || !file.flush() || ::fsync(file.handle()) != 0)
        return false;
    return syncFolder(QFileInfo(file.fileName()).absolutePath());
}

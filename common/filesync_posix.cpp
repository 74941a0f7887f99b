#include "filesync.h"

#include <QFile>
#include <QString>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

bool syncFileToDisk(QFileDevice &file)
{
    return file.isOpen() && file.flush() && ::fsync(file.handle()) == 0;
}

bool syncFolderToDisk(const QString &folderPath)
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

bool openForReadBack(QFile &file)
{
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    // The file's pages are clean after the flush, so the system can drop
    // them all; every read then goes to the device. (O_DIRECT would do the
    // same but asks for aligned buffers, which not every filesystem takes.)
    const int error = ::posix_fadvise(file.handle(), 0, 0, POSIX_FADV_DONTNEED);
    if (error != 0) {
        file.close();
        errno = error;
        return false;
    }
    return true;
}

#include "filesync.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <io.h>
#include <windows.h>

namespace {

std::wstring nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

} // namespace

bool syncFileToDisk(QFileDevice &file)
{
    if (!file.isOpen() || !file.flush())
        return false;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()));
    return handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle);
}

bool syncFolderToDisk(const QString &folderPath)
{
    // A folder opens only with backup semantics; flushing it writes its entries.
    const HANDLE folder = CreateFileW(nativePath(folderPath).c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE)
        return false;
    // Filesystems that cannot flush a folder on its own say so; they write
    // the entry together with the file's data.
    const bool synced = FlushFileBuffers(folder) || GetLastError() == ERROR_INVALID_FUNCTION
        || GetLastError() == ERROR_ACCESS_DENIED;
    CloseHandle(folder);
    return synced;
}

bool openForReadBack(QFile &file)
{
    // Opening the file without the cache makes the filesystem write out and
    // drop what it holds of it, so the reads that follow come from the
    // device. (Reading through that handle itself would need buffers aligned
    // to the sector, which QFile does not give.)
    const HANDLE uncached = CreateFileW(nativePath(file.fileName()).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_NO_BUFFERING, nullptr);
    if (uncached == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(uncached);
    return file.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

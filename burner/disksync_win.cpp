#include "disksync.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <io.h>
#include <windows.h>

namespace {

bool syncFolder(const QString &folderPath)
{
    const std::wstring path = QDir::toNativeSeparators(folderPath).toStdWString();
    // A folder opens only with backup semantics; flushing it writes its entries.
    const HANDLE folder = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE)
        return false;
    // Filesystems that cannot flush a folder on its own say so; they write
    // the entry with the file's data.
    const bool synced = FlushFileBuffers(folder) || GetLastError() == ERROR_INVALID_FUNCTION
        || GetLastError() == ERROR_ACCESS_DENIED;
    CloseHandle(folder);
    return synced;
}

} // namespace

bool syncFileToDisk(QFile &file)
{
    if (!file.isOpen() || !file.flush())
        return false;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()));
    if (handle == INVALID_HANDLE_VALUE || !FlushFileBuffers(handle))
        return false;
    return syncFolder(QFileInfo(file.fileName()).absolutePath());
}

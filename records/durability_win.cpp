#include "durability.h"

#include <QDir>
#include <QFileDevice>
#include <QString>

#include <io.h>
#include <windows.h>

bool flushToDisk(QFileDevice &file)
{
    if (!file.flush())
        return false;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()));
    return handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle);
}

bool flushFolderToDisk(const QString &path)
{
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    const HANDLE folder = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE)
        return false;
    // Filesystems that cannot flush a folder on its own write its entries
    // with the files' data, and say so.
    const bool ok = FlushFileBuffers(folder) || GetLastError() == ERROR_INVALID_FUNCTION
        || GetLastError() == ERROR_ACCESS_DENIED;
    CloseHandle(folder);
    return ok;
}

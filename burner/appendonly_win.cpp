#include "appendonly.h"

#include <QDir>
#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

bool openAppendOnly(QFile &file, const QString &path, QString *why)
{
    // Qt's append mode only starts at the end; with FILE_APPEND_DATA alone
    // the system puts each write at the end, as POSIX's O_APPEND does.
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    const HANDLE handle = CreateFileW(name.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *why = qt_error_string(int(GetLastError()));
        return false;
    }
    // Binary for the C runtime: Qt's text mode already writes CRLF.
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY | _O_WRONLY);
    if (fd < 0) {
        *why = qt_error_string(errno);
        CloseHandle(handle);
        return false;
    }
    if (!file.open(fd, QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text, QFileDevice::AutoCloseHandle)) {
        *why = file.errorString();
        _close(fd);
        return false;
    }
    return true;
}

#include "portholder.h"

#include <QDir>

#include <windows.h>

bool heldByAnotherProgram(const QString &devicePath)
{
    const std::wstring name = QDir::toNativeSeparators(devicePath).toStdWString();
    const HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return false;
    }
    const DWORD error = GetLastError();
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_PIPE_BUSY;
}

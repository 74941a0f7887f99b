#include "devicecheck.h"

#include "portholder.h"

#include <QDir>
#include <QFileInfo>

#include <iterator>

#include <windows.h>

// Windows' device namespace holds no files to look at: a port is asked of
// the DOS device names, a pipe of the pipe namespace.
bool deviceExists(const QString &path)
{
    const QString devicePrefix = QStringLiteral("\\\\.\\");
    if (!path.startsWith(devicePrefix))
        return QFileInfo::exists(path);
    const QString name = path.mid(devicePrefix.size());
    if (name.startsWith(QLatin1String("pipe\\"), Qt::CaseInsensitive)) {
        // Busy (the link holds the only instance) is there; not found is gone.
        if (WaitNamedPipeW(reinterpret_cast<const wchar_t *>(path.utf16()), 1))
            return true;
        return GetLastError() != ERROR_FILE_NOT_FOUND;
    }
    wchar_t target[512];
    if (QueryDosDeviceW(reinterpret_cast<const wchar_t *>(name.utf16()), target, DWORD(std::size(target))))
        return true;
    // Not every port is a DOS device name (wine's are links): asked without
    // access, a port that is there opens or says it is busy.
    const HANDLE handle = CreateFileW(reinterpret_cast<const wchar_t *>(path.utf16()), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return true;
    }
    const DWORD error = GetLastError();
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
}

std::optional<DeviceProblem> notADevice(const QString &path)
{
    // Windows' device namespace (\\.\COM3, \\.\pipe\…) holds no files.
    if (path.startsWith(QLatin1String("\\\\.\\")))
        return std::nullopt;
    const QFileInfo info(path);
    if (info.isDir())
        return DeviceProblem{ExitUsage, QStringLiteral("%1 is a folder, not a serial device").arg(path)};
    if (info.isFile())
        return DeviceProblem{ExitUsage, QStringLiteral("%1 is a regular file, not a serial device").arg(path)};
    return std::nullopt;
}

DeviceProblem whyNotOpened(const QString &path)
{
    if (heldByAnotherProgram(path))
        return {ExitBandFailed, QStringLiteral("%1 is in use by another program (close it, e.g. the tester window "
                                               "or another bandctl, and try again)").arg(path)};
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    const HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return {ExitBandFailed, QStringLiteral("cannot open %1 as a serial port").arg(path)};
    }
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return {ExitNoBand, QStringLiteral("no band: %1 went away").arg(path)};
    default:
        return {ExitBandFailed, QStringLiteral("cannot open %1 (Windows error %2)").arg(path).arg(GetLastError())};
    }
}

#include "loginname.h"

#include <windows.h>

QString loginName()
{
    wchar_t name[256 + 1] = {};
    DWORD size = 256 + 1;
    if (GetUserNameW(name, &size))
        return QString::fromWCharArray(name);
    return QStringLiteral("unknown");
}

#include "usbdevnode_win.h"

#include "usblocation.h"

#include <vector>

#include <windows.h>
// After windows.h:
#include <cfgmgr32.h>
#include <devpropdef.h>
#include <initguid.h>
#include <devpkey.h>

QString instanceIdOf(DEVINST node)
{
    wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
    if (CM_Get_Device_IDW(node, id, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS)
        return {};
    return QString::fromWCharArray(id);
}

QString usbLocationOfInstance(const QString &instanceId)
{
    std::wstring id = instanceId.toStdWString();
    DEVINST node = 0;
    if (id.empty() || CM_Locate_DevNodeW(&node, id.data(), CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS)
        return {};
    DEVPROPTYPE type = 0;
    ULONG size = 0;
    CM_Get_DevNode_PropertyW(node, &DEVPKEY_Device_LocationPaths, &type, nullptr, &size, 0);
    if (size == 0)
        return {};
    std::vector<wchar_t> paths(size / sizeof(wchar_t) + 2, L'\0');
    if (CM_Get_DevNode_PropertyW(node, &DEVPKEY_Device_LocationPaths, &type, reinterpret_cast<PBYTE>(paths.data()),
                                 &size, 0) != CR_SUCCESS
        || type != DEVPROP_TYPE_STRING_LIST)
        return {};
    // Several forms, one after another; the first that names a USB port counts.
    for (const wchar_t *path = paths.data(); *path; path += wcslen(path) + 1) {
        const QString location = usbLocationFromLocationPath(QString::fromWCharArray(path));
        if (!location.isEmpty())
            return location;
    }
    return {};
}

#include "ttyusbplace.h"

#include "usbdevnode_win.h"

#include <windows.h>
// After windows.h:
#include <cfgmgr32.h>
#include <devguid.h>
#include <setupapi.h>

namespace {

// Deeper trees than this are not real; the bound keeps a looping tree
// from hanging the caller.
constexpr int kMaxDepth = 32;

QString portNameOf(HDEVINFO set, SP_DEVINFO_DATA &device)
{
    const HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE)
        return {};
    wchar_t name[64] = {};
    DWORD size = sizeof name - sizeof(wchar_t);
    DWORD type = 0;
    const bool read = RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<LPBYTE>(name), &size)
                          == ERROR_SUCCESS
                      && type == REG_SZ;
    RegCloseKey(key);
    return read ? QString::fromWCharArray(name) : QString();
}

// The device node of the port named portName ("COM3"), or 0.
DEVINST portNode(const QString &portName)
{
    const HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return 0;
    DEVINST found = 0;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; !found && SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        if (portNameOf(set, device).compare(portName, Qt::CaseInsensitive) == 0)
            found = device.DevInst;
    }
    SetupDiDestroyDeviceInfoList(set);
    return found;
}

} // namespace

UsbPlace usbPlaceOfTty(const QString &portName)
{
    QString name = portName;
    if (name.startsWith(QLatin1String("\\\\.\\")))
        name = name.mid(4);
    DEVINST node = portNode(name);
    UsbPlace place;
    // Up from the port to its USB device: an interface of a composite
    // device ("…&MI_00") first, then the device itself.
    for (int depth = 0; node && depth < kMaxDepth; ++depth) {
        const QString id = instanceIdOf(node);
        if (id.startsWith(QLatin1String("USB\\"), Qt::CaseInsensitive)) {
            if (place.location.isEmpty())
                place.location = usbLocationOfInstance(id);
            if (!id.contains(QLatin1String("&MI_"), Qt::CaseInsensitive)) {
                // A serial number is the id's last part; Windows makes up
                // one with '&' in it for a device without.
                const QString last = id.section(QLatin1Char('\\'), -1);
                if (!last.contains(QLatin1Char('&')))
                    place.serialNumber = last;
                break;
            }
        }
        DEVINST parent = 0;
        node = CM_Get_Parent(&parent, node, 0) == CR_SUCCESS ? parent : 0;
    }
    return place;
}

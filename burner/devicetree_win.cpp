// The system's device tree for the hot-plug source: a drive letter's disk by
// its storage device number, parents through the configuration manager.
#include "winhotplugsource.h"

#include "usbdevnode_win.h"

#include <cfgmgr32.h>
#include <initguid.h>
#include <devguid.h>
#include <ntddstor.h>
#include <setupapi.h>
#include <winioctl.h>

#include <vector>

namespace {

bool deviceNumberOf(const wchar_t *path, STORAGE_DEVICE_NUMBER *number)
{
    const HANDLE device = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE)
        return false;
    DWORD returned = 0;
    const bool ok = DeviceIoControl(device, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, number,
                                    sizeof *number, &returned, nullptr);
    CloseHandle(device);
    return ok;
}

// The disk whose device number is the volume's, among the present disks.
QString diskWithNumber(const STORAGE_DEVICE_NUMBER &wanted)
{
    const HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVINTERFACE_DISK, nullptr, nullptr,
                                              DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return {};
    QString found;
    SP_DEVICE_INTERFACE_DATA item{};
    item.cbSize = sizeof item;
    for (DWORD index = 0; found.isEmpty()
         && SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_DISK, index, &item);
         ++index) {
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &item, nullptr, 0, &size, nullptr);
        if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
            continue;
        std::vector<char> buffer(size);
        auto *detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W *>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        STORAGE_DEVICE_NUMBER number{};
        if (SetupDiGetDeviceInterfaceDetailW(set, &item, detail, size, nullptr, &device)
            && deviceNumberOf(detail->DevicePath, &number) && number.DeviceType == wanted.DeviceType
            && number.DeviceNumber == wanted.DeviceNumber)
            found = instanceIdOf(device.DevInst);
    }
    SetupDiDestroyDeviceInfoList(set);
    return found;
}

QString diskOfLetter(QChar letter)
{
    const std::wstring volume = L"\\\\.\\" + std::wstring(1, wchar_t(letter.unicode())) + L":";
    STORAGE_DEVICE_NUMBER number{};
    if (!deviceNumberOf(volume.c_str(), &number))
        return {};
    return diskWithNumber(number);
}

QString parentOfInstance(const QString &instanceId)
{
    DEVINST instance = 0;
    std::wstring id = instanceId.toStdWString();
    DEVINST parent = 0;
    if (CM_Locate_DevNodeW(&instance, id.data(), CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS
        || CM_Get_Parent(&parent, instance, 0) != CR_SUCCESS)
        return {};
    return instanceIdOf(parent);
}

bool isNetworkLetter(QChar letter)
{
    const std::wstring root = std::wstring(1, wchar_t(letter.unicode())) + L":\\";
    return GetDriveTypeW(root.c_str()) == DRIVE_REMOTE;
}

} // namespace

DeviceTree DeviceTree::system()
{
    return {diskOfLetter, parentOfInstance, isNetworkLetter, usbLocationOfInstance};
}

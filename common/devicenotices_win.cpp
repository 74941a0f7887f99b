#include "devicenotices_win.h"

#include <dbt.h>

namespace {

const wchar_t kWindowClass[] = L"BandDeviceNotices";

ATOM registerWindowClass(WNDPROC proc)
{
    static const ATOM atom = [proc] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = proc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kWindowClass;
        return RegisterClassExW(&windowClass);
    }();
    return atom;
}

} // namespace

DeviceNotices::DeviceNotices(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<DeviceNotice>();
}

DeviceNotices::~DeviceNotices()
{
    if (registration)
        UnregisterDeviceNotification(registration);
    if (hwnd)
        DestroyWindow(hwnd);
}

bool DeviceNotices::start()
{
    if (hwnd)
        return true;
    if (!registerWindowClass(&DeviceNotices::windowProc))
        return false;
    // Never shown; top-level so that the volume broadcasts reach it.
    hwnd = CreateWindowExW(0, kWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
    if (!hwnd) {
        qWarning("device notices: no hidden window (error %lu)", GetLastError());
        return false;
    }
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));

    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    registration = RegisterDeviceNotificationW(
        hwnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE | DEVICE_NOTIFY_ALL_INTERFACE_CLASSES);
    if (!registration)
        qWarning("device notices: not registered (error %lu)", GetLastError());
    return registration != nullptr;
}

bool DeviceNotices::decode(WPARAM event, LPARAM data, DeviceNotice *notice)
{
    if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE)
        return false;
    const auto *header = reinterpret_cast<const DEV_BROADCAST_HDR *>(data);
    if (!header)
        return false;
    notice->change = event == DBT_DEVICEARRIVAL ? DeviceNotice::Change::Arrived
                                                : DeviceNotice::Change::Removed;
    switch (header->dbch_devicetype) {
    case DBT_DEVTYP_DEVICEINTERFACE: {
        const auto *device = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W *>(header);
        notice->kind = DeviceNotice::Kind::Interface;
        notice->interfaceClass = device->dbcc_classguid;
        notice->name = QString::fromWCharArray(device->dbcc_name);
        return true;
    }
    case DBT_DEVTYP_VOLUME: {
        const auto *volume = reinterpret_cast<const DEV_BROADCAST_VOLUME *>(header);
        notice->kind = DeviceNotice::Kind::Volume;
        notice->unitMask = volume->dbcv_unitmask;
        return true;
    }
    case DBT_DEVTYP_PORT: {
        const auto *port = reinterpret_cast<const DEV_BROADCAST_PORT_W *>(header);
        notice->kind = DeviceNotice::Kind::Port;
        notice->name = QString::fromWCharArray(port->dbcp_name);
        return true;
    }
    default:
        return false;
    }
}

LRESULT CALLBACK DeviceNotices::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DEVICECHANGE) {
        auto *self = reinterpret_cast<DeviceNotices *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        DeviceNotice notice;
        if (self && decode(wParam, lParam, &notice))
            emit self->notice(notice);
        return TRUE;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

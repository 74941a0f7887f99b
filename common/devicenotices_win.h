// Windows' device notices (WM_DEVICECHANGE) through a hidden window of the
// calling thread, whose Qt event loop dispatches its messages: one mechanism
// for the windows and for bandctl, which has no window of its own. A hidden
// top-level window (not a message-only one) also gets the volume broadcasts
// that carry drive letters.
#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>

#include <windows.h>

struct DeviceNotice {
    enum class Change { Arrived, Removed };
    enum class Kind { Interface, Volume, Port };

    Change change = Change::Arrived;
    Kind kind = Kind::Interface;
    QString name;       // device interface path, or port name such as "COM3"
    GUID interfaceClass{};
    quint32 unitMask = 0; // volumes: one bit per drive letter, bit 0 = A
};
Q_DECLARE_METATYPE(DeviceNotice)

class DeviceNotices : public QObject {
    Q_OBJECT
public:
    explicit DeviceNotices(QObject *parent = nullptr);
    ~DeviceNotices() override;

    // Creates the window and asks for the notices of every device interface
    // class; false when the system refuses either.
    bool start();

    // The window the notices come to: tests send it WM_DEVICECHANGE messages
    // of their own.
    HWND window() const { return hwnd; }

    // Reads one WM_DEVICECHANGE message; false for the ones that say
    // nothing about a device coming or going.
    static bool decode(WPARAM event, LPARAM data, DeviceNotice *notice);

signals:
    void notice(const DeviceNotice &notice);

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd = nullptr;
    HDEVNOTIFY registration = nullptr;
};

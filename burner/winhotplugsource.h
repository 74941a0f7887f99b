// Hot-plug events on Windows: USB devices from their device-interface
// notices, new volumes from the drive-letter broadcasts, each volume's owner
// from the device tree (the volume's disk and its parents).
#pragma once

#include "hotplugsource.h"

#include <QHash>
#include <QString>

#include <functional>

#include <windows.h>

class DeviceNotices;
struct DeviceNotice;

// The device tree as the hot-plug source reads it; tests give their own.
struct DeviceTree {
    // The device instance id of the disk that holds the volume of a drive
    // letter; empty when the letter has no local disk behind it.
    std::function<QString(QChar letter)> diskOf;
    // The parent's device instance id; empty at the top.
    std::function<QString(const QString &instanceId)> parentOf;
    // Whether the letter is a network share (never the band's disk).
    std::function<bool(QChar letter)> isNetwork;
    // A USB device's place (usblocation.h); empty when unknown.
    std::function<QString(const QString &instanceId)> locationOf;

    static DeviceTree system();
};

class WinHotplugSource : public HotplugSource {
    Q_OBJECT
public:
    explicit WinHotplugSource(DeviceTree tree = DeviceTree::system(), QObject *parent = nullptr);
    ~WinHotplugSource() override;

    bool start() override;

    // Where the device notices come to, for tests.
    HWND noticeWindow() const;

private:
    void onNotice(const DeviceNotice &notice);
    VolumeInfo describe(QChar letter) const;

    DeviceTree tree;
    DeviceNotices *notices;
    // Where each USB device present was plugged in, by instance id: a
    // device that has gone can no longer be asked.
    QHash<QString, QString> locations;
};

#include "upgradedisks.h"

#include "mountinfo.h"
#include "udevusbplace.h"

#include <QFile>

#include <libudev.h>
#include <sys/sysmacros.h>

namespace {

QString mountPointOf(const QList<MountEntry> &mounts, dev_t number)
{
    for (const MountEntry &mount : mounts) {
        if (mount.major == major(number) && mount.minor == minor(number))
            return mount.mountPoint;
    }
    return {};
}

// The band's block devices under one USB device, each with its mount.
void addDisksOf(udev *context, udev_device *usb, const QList<MountEntry> &mounts, QList<UpgradeDisk> *disks)
{
    const UsbPlace place = usbPlaceOfUsbDevice(usb);
    bool found = false;
    udev_enumerate *blocks = udev_enumerate_new(context);
    udev_enumerate_add_match_subsystem(blocks, "block");
    udev_enumerate_add_match_parent(blocks, usb);
    udev_enumerate_scan_devices(blocks);
    udev_list_entry *entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(blocks)) {
        udev_device *block = udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
        if (!block)
            continue;
        const char *node = udev_device_get_devnode(block);
        const QString mountPoint = mountPointOf(mounts, udev_device_get_devnum(block));
        // A whole disk with partitions is listed by its mounted partition.
        if (node && (!mountPoint.isEmpty() || !found)) {
            if (found && disks->last().mountPoint.isEmpty())
                disks->removeLast();
            disks->append({place.location, place.serialNumber, QString::fromLocal8Bit(node), mountPoint});
            found = true;
        }
        udev_device_unref(block);
    }
    udev_enumerate_unref(blocks);
    if (!found)
        disks->append({place.location, place.serialNumber, {}, {}});
}

} // namespace

QList<UpgradeDisk> upgradeDisks(const QString &mountInfoPath)
{
    QList<UpgradeDisk> disks;
    udev *context = udev_new();
    if (!context)
        return disks;
    QFile mountInfo(mountInfoPath);
    const QList<MountEntry> mounts =
        mountInfo.open(QIODevice::ReadOnly) ? parseMountInfo(mountInfo.readAll()) : QList<MountEntry>{};

    udev_enumerate *devices = udev_enumerate_new(context);
    udev_enumerate_add_match_subsystem(devices, "usb");
    udev_enumerate_add_match_property(devices, "DEVTYPE", "usb_device");
    udev_enumerate_add_match_sysattr(devices, "idVendor", "0451");
    udev_enumerate_add_match_sysattr(devices, "idProduct", "16a8");
    udev_enumerate_scan_devices(devices);
    udev_list_entry *entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(devices)) {
        if (udev_device *usb = udev_device_new_from_syspath(context, udev_list_entry_get_name(entry))) {
            addDisksOf(context, usb, mounts, &disks);
            udev_device_unref(usb);
        }
    }
    udev_enumerate_unref(devices);
    udev_unref(context);
    return disks;
}

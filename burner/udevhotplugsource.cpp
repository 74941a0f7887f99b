#include "udevhotplugsource.h"

#include "systemhotplug.h"
#include "udevusbplace.h"
#include "usbids.h"

#include <QFile>
#include <QSocketNotifier>

#include <fcntl.h>
#include <libudev.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

bool readHexAttribute(udev_device *device, const char *name, quint16 *value)
{
    const char *text = udev_device_get_sysattr_value(device, name);
    if (!text)
        return false;
    bool ok = false;
    *value = QByteArray(text).trimmed().toUShort(&ok, 16);
    return ok;
}

// From the device's attributes, or from its PRODUCT property, which a
// removal event still carries when the attributes are gone.
bool readUsbIds(udev_device *device, quint16 ids[2])
{
    if (readHexAttribute(device, "idVendor", &ids[0])
        && readHexAttribute(device, "idProduct", &ids[1]))
        return true;
    const char *product = udev_device_get_property_value(device, "PRODUCT");
    return product && parseUsbProductValue(QString::fromLatin1(product), ids);
}

} // namespace

UdevHotplugSource::UdevHotplugSource(QObject *parent, const QString &mountInfoPath)
    : HotplugSource(parent), mountInfoPath(mountInfoPath)
{
}

UdevHotplugSource::~UdevHotplugSource()
{
    closeAll();
}

bool UdevHotplugSource::start()
{
    if (context)
        return true;
    if (openUsbMonitor() && openMountWatch())
        return true;
    closeAll();
    return false;
}

bool UdevHotplugSource::openUsbMonitor()
{
    context = udev_new();
    if (!context)
        return false;
    monitor = udev_monitor_new_from_netlink(context, "udev");
    if (!monitor
        || udev_monitor_filter_add_match_subsystem_devtype(monitor, "usb", "usb_device") < 0
        || udev_monitor_enable_receiving(monitor) < 0)
        return false;
    const int fd = udev_monitor_get_fd(monitor);
    if (fd < 0)
        return false;
    usbNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(usbNotifier, &QSocketNotifier::activated, this, &UdevHotplugSource::onUsbEvent);
    return true;
}

bool UdevHotplugSource::openMountWatch()
{
    mountInfoFd = ::open(QFile::encodeName(mountInfoPath).constData(), O_RDONLY | O_CLOEXEC);
    if (mountInfoFd < 0 || !readMountTable(&mounts))
        return false;
    // The kernel marks a change of the mount table as priority data.
    mountNotifier = new QSocketNotifier(mountInfoFd, QSocketNotifier::Exception, this);
    connect(mountNotifier, &QSocketNotifier::activated, this,
            &UdevHotplugSource::rescanMounts);
    return true;
}

void UdevHotplugSource::closeAll()
{
    // Notifiers go before the descriptors they watch.
    delete usbNotifier;
    usbNotifier = nullptr;
    delete mountNotifier;
    mountNotifier = nullptr;
    if (mountInfoFd >= 0)
        ::close(mountInfoFd);
    mountInfoFd = -1;
    if (monitor)
        udev_monitor_unref(monitor);
    monitor = nullptr;
    if (context)
        udev_unref(context);
    context = nullptr;
    mounts.clear();
    idsByDevpath.clear();
}

void UdevHotplugSource::onUsbEvent()
{
    udev_device *device = udev_monitor_receive_device(monitor);
    if (!device)
        return;
    const QByteArray action = udev_device_get_action(device);
    const QByteArray devpath = udev_device_get_devpath(device);
    const QString location = usbPlaceOfUsbDevice(device).location;
    quint16 ids[2] = {0, 0};
    const bool known = readUsbIds(device, ids);
    udev_device_unref(device);

    if (action == "add") {
        if (known)
            idsByDevpath.insert(devpath, UsbIds{ids[0], ids[1]});
        emit usbDeviceArrived(ids[0], ids[1], location);
    } else if (action == "remove") {
        const UsbIds kept = idsByDevpath.take(devpath);
        if (!known) {
            ids[0] = kept.vendorId;
            ids[1] = kept.productId;
        }
        emit usbDeviceLeft(ids[0], ids[1], location);
    }
}

void UdevHotplugSource::rescanMounts()
{
    if (mountInfoFd < 0)
        return;
    QList<MountEntry> current;
    if (!readMountTable(&current))
        return; // the last good reading stays the reference
    const QList<MountEntry> added = newMounts(mounts, current);
    mounts = current;
    for (const MountEntry &entry : added)
        emit volumeMounted(describe(entry));
}

bool UdevHotplugSource::readMountTable(QList<MountEntry> *entries) const
{
    if (::lseek(mountInfoFd, 0, SEEK_SET) < 0)
        return false;
    QByteArray text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(mountInfoFd, buffer, sizeof buffer);
        if (got < 0)
            return false;
        if (got == 0)
            break;
        text.append(buffer, got);
    }
    *entries = parseMountInfo(text);
    return true;
}

VolumeInfo UdevHotplugSource::describe(const MountEntry &entry) const
{
    VolumeInfo volume;
    volume.rootPath = entry.mountPoint;
    if (!volume.rootPath.endsWith(QLatin1Char('/')))
        volume.rootPath += QLatin1Char('/');
    volume.kind = isNetworkFilesystem(entry.fsType) ? VolumeInfo::Kind::Network
                                                    : VolumeInfo::Kind::Local;
    findUsbOwner(entry, &volume);
    return volume;
}

void UdevHotplugSource::findUsbOwner(const MountEntry &entry, VolumeInfo *volume) const
{
    // Here the owner is always known: a volume without a block device, or
    // whose block device hangs off no USB device, is on no USB device.
    volume->ownerKnown = true;
    if (entry.major == 0)
        return;
    udev_device *block =
        udev_device_new_from_devnum(context, 'b', makedev(entry.major, entry.minor));
    if (!block)
        return;
    // The parent belongs to the child and goes with it.
    udev_device *usb = udev_device_get_parent_with_subsystem_devtype(block, "usb", "usb_device");
    quint16 ids[2] = {0, 0};
    if (usb && readUsbIds(usb, ids)) {
        volume->ownerVendorId = ids[0];
        volume->ownerProductId = ids[1];
    }
    if (usb) {
        const UsbPlace place = usbPlaceOfUsbDevice(usb);
        volume->ownerLocation = place.location;
        volume->ownerSerial = place.serialNumber;
    }
    udev_device_unref(block);
}

std::unique_ptr<HotplugSource> createSystemHotplugSource()
{
    return std::make_unique<UdevHotplugSource>();
}

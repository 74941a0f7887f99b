#include "winhotplugsource.h"

#include "devicenotices_win.h"
#include "systemhotplug.h"
#include "usbids.h"
#include "volumeowner.h"

#include <QDebug>

#include <dbt.h>
#include <initguid.h>
#include <usbiodef.h> // GUID_DEVINTERFACE_USB_DEVICE

namespace {

// "\\?\USB#VID_0451&PID_16A8#0123#{a5dcbf10-…}" is the interface of the
// device "USB\VID_0451&PID_16A8\0123".
QString instanceIdOfInterface(const QString &interfacePath)
{
    QString id = interfacePath;
    if (id.startsWith(QLatin1String("\\\\?\\")))
        id = id.mid(4);
    const qsizetype classGuid = id.lastIndexOf(QLatin1String("#{"));
    if (classGuid >= 0)
        id.truncate(classGuid);
    return id.replace(QLatin1Char('#'), QLatin1Char('\\')).toUpper();
}

} // namespace

WinHotplugSource::WinHotplugSource(DeviceTree tree, QObject *parent)
    : HotplugSource(parent), tree(std::move(tree)), notices(new DeviceNotices(this))
{
    connect(notices, &DeviceNotices::notice, this, &WinHotplugSource::onNotice);
}

WinHotplugSource::~WinHotplugSource() = default;

bool WinHotplugSource::start()
{
    return notices->start();
}

HWND WinHotplugSource::noticeWindow() const
{
    return notices->window();
}

void WinHotplugSource::onNotice(const DeviceNotice &notice)
{
    const bool arrived = notice.change == DeviceNotice::Change::Arrived;
    if (notice.kind == DeviceNotice::Kind::Interface
        && IsEqualGUID(notice.interfaceClass, GUID_DEVINTERFACE_USB_DEVICE)) {
        // "\\?\USB#VID_0451&PID_16A8#…": the ids are in the name, on removal too.
        quint16 ids[2] = {0, 0};
        parseUsbIds(notice.name, ids);
        const QString instance = instanceIdOfInterface(notice.name);
        if (arrived) {
            const QString location = tree.locationOf(instance);
            locations.insert(instance, location);
            emit usbDeviceArrived(ids[0], ids[1], location);
        } else {
            emit usbDeviceLeft(ids[0], ids[1], locations.take(instance));
        }
        return;
    }
    if (notice.kind == DeviceNotice::Kind::Volume && arrived) {
        for (int bit = 0; bit < 26; ++bit) {
            if (notice.unitMask & (quint32(1) << bit))
                emit volumeMounted(describe(QChar('A' + bit)));
        }
    }
}

VolumeInfo WinHotplugSource::describe(QChar letter) const
{
    VolumeInfo volume;
    volume.rootPath = QString(letter) + QStringLiteral(":/");
    volume.kind = tree.isNetwork(letter) ? VolumeInfo::Kind::Network : VolumeInfo::Kind::Local;
    // The owner counts as known even when the tree cannot be read: a volume
    // that cannot be traced to the band's device is never its disk.
    volume.ownerKnown = true;
    if (volume.kind == VolumeInfo::Kind::Local) {
        const QString disk = tree.diskOf(letter);
        quint16 ids[2] = {0, 0};
        QString owner;
        if (!disk.isEmpty() && usbOwnerOf(disk, tree.parentOf, ids, &owner)) {
            volume.ownerVendorId = ids[0];
            volume.ownerProductId = ids[1];
            volume.ownerLocation = tree.locationOf(owner);
        }
        qDebug() << "\tvolume" << volume.rootPath << "on" << (disk.isEmpty() ? QStringLiteral("no disk") : disk);
    }
    return volume;
}

std::unique_ptr<HotplugSource> createSystemHotplugSource()
{
    return std::make_unique<WinHotplugSource>();
}

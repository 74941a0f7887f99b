// The hub's bands in upgrade mode: a band that takes the upgrade command
// leaves its port, arrives as a USB disk in the same hub port (a temporary
// folder), and once a firmware image has landed there it leaves and comes
// back on its port. Disks arrive in the reverse order of the bands, as the
// system may give them.
#pragma once

#include "bandhub.h"
#include "hotplugsource.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <map>
#include <memory>

class DiskHub : public HotplugSource {
    Q_OBJECT
public:
    DiskHub(BandHub &hub, int count) : hub(hub)
    {
        for (int i = 0; i < count; ++i)
            hub.band(i).onUpgrade([this, i] {
                QMetaObject::invokeMethod(this, [this, i] { enterUpgradeMode(i); }, Qt::QueuedConnection);
            });
        poll.setInterval(100);
        connect(&poll, &QTimer::timeout, this, &DiskHub::pollDisks);
        poll.start();
    }
    bool start() override { return true; }

    // A band whose disk never comes back on its port (its restart fails).
    void keepAsDisk(int i) { stuck[i] = true; }
    // Pulls the band out while it is a disk.
    void pullDisk(int i)
    {
        disks.erase(i);
        emit usbDeviceLeft(0x0451, 0x16A8, BandHub::locationOf(i));
    }
    bool hasDisk(int i) const { return disks.count(i) > 0; }
    // An operator's USB stick shows a volume in the band's hub port just
    // before the band's disk; returns the stick's folder.
    QString stickFirst(int i)
    {
        sticks[i] = std::make_unique<QTemporaryDir>();
        return sticks[i]->path();
    }

private:
    struct Disk {
        std::unique_ptr<QTemporaryDir> dir;
        qint64 lastSize = -1;
    };

    void enterUpgradeMode(int i)
    {
        emit hub.portsChanged();
        // Later bands' disks first.
        QTimer::singleShot(400 - 30 * i, this, [this, i] {
            if (sticks.count(i)) {
                VolumeInfo stick;
                stick.rootPath = sticks[i]->path() + QLatin1Char('/');
                stick.ownerKnown = true;
                stick.ownerVendorId = 0x0781;
                stick.ownerProductId = 0x5567;
                stick.ownerLocation = BandHub::locationOf(i);
                emit volumeMounted(stick);
            }
            Disk &disk = disks[i];
            disk.dir = std::make_unique<QTemporaryDir>();
            emit usbDeviceArrived(0x0451, 0x16A8, BandHub::locationOf(i));
            VolumeInfo volume;
            volume.rootPath = disk.dir->path() + QLatin1Char('/');
            volume.ownerKnown = true;
            volume.ownerVendorId = 0x0451;
            volume.ownerProductId = 0x16A8;
            volume.ownerLocation = BandHub::locationOf(i);
            emit volumeMounted(volume);
        });
    }

    void pollDisks()
    {
        for (auto it = disks.begin(); it != disks.end();) {
            const QFileInfo image(it->second.dir->filePath(QStringLiteral("band.bin")));
            const qint64 size = image.isFile() ? image.size() : -1;
            const bool copied = size > 0 && size == it->second.lastSize && !stuck[it->first];
            it->second.lastSize = size;
            if (!copied) {
                ++it;
                continue;
            }
            const int i = it->first;
            it = disks.erase(it);
            emit usbDeviceLeft(0x0451, 0x16A8, BandHub::locationOf(i));
            QTimer::singleShot(200, this, [this, i] { hub.plugIn(i); });
        }
    }

    BandHub &hub;
    std::map<int, Disk> disks;
    std::map<int, bool> stuck;
    std::map<int, std::unique_ptr<QTemporaryDir>> sticks;
    QTimer poll;
};

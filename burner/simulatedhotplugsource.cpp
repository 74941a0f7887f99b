#include "simulatedhotplugsource.h"

#include "simulatedband.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

namespace {

constexpr quint16 kBandVendorId = 0x0451;
constexpr quint16 kBandDiskProductId = 0x16A8;

// A real band restarts before it shows up as a disk: its serial port is
// gone well before the disk's USB device arrives.
constexpr int kRestartMs = 1500;
// Bands restarting together come back as disks in no fixed order: each
// takes up to this much longer than kRestartMs.
constexpr int kRestartSpreadMs = 400;
// A real band takes a moment to show its volume after its USB device.
constexpr int kMountDelayMs = 300;
constexpr int kPollIntervalMs = 200;
// The band checks a new image before it restarts.
constexpr int kImageCheckMs = 1500;

// Left over from an earlier burn, so that removing it is part of a run.
const char kOldConfigName[] = "DEFAULT.CFG";

} // namespace

// One band and, while it is in upgrade mode, its disk.
struct SimulatedHotplugSource::BandDisk {
    SimulatedBand *band;
    std::unique_ptr<QTemporaryDir> disk;
    QTimer restartTimer;
    QTimer mountTimer;
    QTimer pollTimer;
    QTimer checkTimer;
    qint64 lastImageSize = -1;
};

SimulatedHotplugSource::SimulatedHotplugSource(SimulatedBand *band, QObject *parent)
    : SimulatedHotplugSource(QList<SimulatedBand *>{band}, parent)
{
}

SimulatedHotplugSource::SimulatedHotplugSource(const QList<SimulatedBand *> &bands, QObject *parent)
    : HotplugSource(parent)
{
    for (SimulatedBand *band : bands) {
        disks.push_back(std::make_unique<BandDisk>());
        BandDisk &slot = *disks.back();
        slot.band = band;
        slot.restartTimer.setSingleShot(true);
        slot.mountTimer.setSingleShot(true);
        slot.checkTimer.setSingleShot(true);
        slot.pollTimer.setInterval(kPollIntervalMs);
        connect(&slot.restartTimer, &QTimer::timeout, this, [this, &slot] { arriveAsDisk(slot); });
        connect(&slot.mountTimer, &QTimer::timeout, this, [this, &slot] { mountDisk(slot); });
        connect(&slot.pollTimer, &QTimer::timeout, this, [this, &slot] { pollDisk(slot); });
        connect(&slot.checkTimer, &QTimer::timeout, this, [this, &slot] { finishUpgrade(slot); });
    }
}

SimulatedHotplugSource::~SimulatedHotplugSource() = default;

bool SimulatedHotplugSource::start()
{
    for (const auto &slot : disks) {
        if (!slot->band)
            return false;
    }
    if (!started) {
        for (const auto &slot : disks) {
            BandDisk *entry = slot.get();
            connect(entry->band, &SimulatedBand::enteredUpgradeMode, this,
                    [this, entry] { onEnteredUpgradeMode(*entry); });
        }
        started = true;
    }
    return true;
}

void SimulatedHotplugSource::setFirmwareName(const QString &binName)
{
    firmwareName = binName;
}

QString SimulatedHotplugSource::diskRoot(int index) const
{
    if (index < 0 || size_t(index) >= disks.size() || !disks[size_t(index)]->disk)
        return QString();
    return disks[size_t(index)]->disk->path() + QLatin1Char('/');
}

void SimulatedHotplugSource::onEnteredUpgradeMode(BandDisk &slot)
{
    if (slot.disk)
        return;
    auto newDisk = std::make_unique<QTemporaryDir>();
    if (!newDisk->isValid()) {
        qWarning() << "Simulated band: cannot create its disk:" << newDisk->errorString();
        slot.band->plugIn(); // back in normal mode, so the operator can try again
        return;
    }
    QFile oldConfig(newDisk->filePath(QLatin1String(kOldConfigName)));
    if (oldConfig.open(QIODevice::WriteOnly))
        oldConfig.write("old configuration\n");
    slot.disk = std::move(newDisk);
    slot.lastImageSize = -1;
    const int spread = disks.size() > 1 ? int(QRandomGenerator::global()->bounded(kRestartSpreadMs)) : 0;
    slot.restartTimer.start(kRestartMs + spread);
}

void SimulatedHotplugSource::arriveAsDisk(BandDisk &slot)
{
    if (!slot.disk)
        return;
    emit usbDeviceArrived(kBandVendorId, kBandDiskProductId, slot.band->usbLocation());
    slot.mountTimer.start(kMountDelayMs);
}

void SimulatedHotplugSource::mountDisk(BandDisk &slot)
{
    if (!slot.disk)
        return;
    VolumeInfo volume;
    volume.rootPath = slot.disk->path() + QLatin1Char('/');
    volume.kind = VolumeInfo::Kind::Local;
    volume.ownerKnown = true;
    volume.ownerVendorId = kBandVendorId;
    volume.ownerProductId = kBandDiskProductId;
    volume.ownerLocation = slot.band->usbLocation();
    emit volumeMounted(volume);
    slot.pollTimer.start();
}

void SimulatedHotplugSource::pollDisk(BandDisk &slot)
{
    if (!slot.disk || firmwareName.isEmpty())
        return;
    const QFileInfo image(slot.disk->filePath(firmwareName));
    if (!image.isFile()) {
        slot.lastImageSize = -1;
        return;
    }
    // Two polls with the same size: the copy has ended.
    if (image.size() == slot.lastImageSize) {
        slot.pollTimer.stop();
        slot.checkTimer.start(kImageCheckMs);
        return;
    }
    slot.lastImageSize = image.size();
}

void SimulatedHotplugSource::finishUpgrade(BandDisk &slot)
{
    emit usbDeviceLeft(kBandVendorId, kBandDiskProductId, slot.band->usbLocation());
    removeDisk(slot);
    slot.band->plugIn();
}

void SimulatedHotplugSource::pullOut(int index)
{
    if (index < 0 || size_t(index) >= disks.size())
        return;
    BandDisk &slot = *disks[size_t(index)];
    slot.band->unplug();
    if (!slot.disk)
        return;
    emit usbDeviceLeft(kBandVendorId, kBandDiskProductId, slot.band->usbLocation());
    removeDisk(slot);
}

void SimulatedHotplugSource::removeDisk(BandDisk &slot)
{
    slot.restartTimer.stop();
    slot.mountTimer.stop();
    slot.pollTimer.stop();
    slot.checkTimer.stop();
    slot.disk.reset(); // removes the folder and what was burnt into it
}

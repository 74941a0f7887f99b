#include "simulatedhotplugsource.h"

#include "simulatedband.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr quint16 kBandVendorId = 0x0451;
constexpr quint16 kBandDiskProductId = 0x16A8;

// A real band restarts before it shows up as a disk: its serial port is
// gone well before the disk's USB device arrives.
constexpr int kRestartMs = 1500;
// A real band takes a moment to show its volume after its USB device.
constexpr int kMountDelayMs = 300;
constexpr int kPollIntervalMs = 200;
// The band checks a new image before it restarts.
constexpr int kImageCheckMs = 1500;

// Left over from an earlier burn, so that removing it is part of a run.
const char kOldConfigName[] = "DEFAULT.CFG";

} // namespace

SimulatedHotplugSource::SimulatedHotplugSource(SimulatedBand *band, QObject *parent)
    : HotplugSource(parent), band(band)
{
    restartTimer.setSingleShot(true);
    mountTimer.setSingleShot(true);
    checkTimer.setSingleShot(true);
    pollTimer.setInterval(kPollIntervalMs);
    connect(&restartTimer, &QTimer::timeout, this, &SimulatedHotplugSource::arriveAsDisk);
    connect(&mountTimer, &QTimer::timeout, this, &SimulatedHotplugSource::mountDisk);
    connect(&pollTimer, &QTimer::timeout, this, &SimulatedHotplugSource::pollDisk);
    connect(&checkTimer, &QTimer::timeout, this, &SimulatedHotplugSource::finishUpgrade);
}

SimulatedHotplugSource::~SimulatedHotplugSource() = default;

bool SimulatedHotplugSource::start()
{
    if (!band)
        return false;
    if (!started) {
        connect(band, &SimulatedBand::enteredUpgradeMode, this,
                &SimulatedHotplugSource::onEnteredUpgradeMode);
        started = true;
    }
    return true;
}

void SimulatedHotplugSource::setFirmwareName(const QString &binName)
{
    firmwareName = binName;
}

QString SimulatedHotplugSource::diskRoot() const
{
    return disk ? disk->path() + QLatin1Char('/') : QString();
}

void SimulatedHotplugSource::onEnteredUpgradeMode()
{
    if (disk)
        return;
    auto newDisk = std::make_unique<QTemporaryDir>();
    if (!newDisk->isValid()) {
        qWarning() << "Simulated band: cannot create its disk:" << newDisk->errorString();
        band->plugIn(); // back in normal mode, so the operator can try again
        return;
    }
    QFile oldConfig(newDisk->filePath(QLatin1String(kOldConfigName)));
    if (oldConfig.open(QIODevice::WriteOnly))
        oldConfig.write("old configuration\n");
    disk = std::move(newDisk);
    lastImageSize = -1;
    restartTimer.start(kRestartMs);
}

void SimulatedHotplugSource::arriveAsDisk()
{
    if (!disk)
        return;
    emit usbDeviceArrived(kBandVendorId, kBandDiskProductId);
    mountTimer.start(kMountDelayMs);
}

void SimulatedHotplugSource::mountDisk()
{
    if (!disk)
        return;
    VolumeInfo volume;
    volume.rootPath = diskRoot();
    volume.kind = VolumeInfo::Kind::Local;
    volume.ownerKnown = true;
    volume.ownerVendorId = kBandVendorId;
    volume.ownerProductId = kBandDiskProductId;
    emit volumeMounted(volume);
    pollTimer.start();
}

void SimulatedHotplugSource::pollDisk()
{
    if (!disk || firmwareName.isEmpty())
        return;
    const QFileInfo image(disk->filePath(firmwareName));
    if (!image.isFile()) {
        lastImageSize = -1;
        return;
    }
    // Two polls with the same size: the copy has ended.
    if (image.size() == lastImageSize) {
        pollTimer.stop();
        checkTimer.start(kImageCheckMs);
        return;
    }
    lastImageSize = image.size();
}

void SimulatedHotplugSource::finishUpgrade()
{
    emit usbDeviceLeft(kBandVendorId, kBandDiskProductId);
    removeDisk();
    band->plugIn();
}

void SimulatedHotplugSource::removeDisk()
{
    restartTimer.stop();
    mountTimer.stop();
    pollTimer.stop();
    checkTimer.stop();
    disk.reset(); // removes the folder and what was burnt into it
}

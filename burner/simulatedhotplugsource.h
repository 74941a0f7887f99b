// Hot-plug input played by virtual bands: when a band enters upgrade mode
// it restarts, then its USB device arrives in the band's own USB location
// and a temporary folder is mounted as its disk; once the firmware image has
// been written there, the band checks it, leaves and comes back on its
// serial port. With several bands their disks arrive in no fixed order.
#pragma once

#include "hotplugsource.h"

#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>
#include <vector>

class SimulatedBand;

class SimulatedHotplugSource : public HotplugSource {
    Q_OBJECT
public:
    // The bands must outlive the source.
    explicit SimulatedHotplugSource(SimulatedBand *band, QObject *parent = nullptr);
    explicit SimulatedHotplugSource(const QList<SimulatedBand *> &bands, QObject *parent = nullptr);
    ~SimulatedHotplugSource() override;

    bool start() override;

    // The firmware image whose arrival on the disk ends the upgrade.
    void setFirmwareName(const QString &binName);

    // The disk's root ('/' at the end) of the band with that index while
    // mounted, empty otherwise.
    QString diskRoot(int index = 0) const;

    // The band with that index pulled out while in upgrade mode: its USB
    // device leaves, its disk goes, and it stays out.
    void pullOut(int index);

private:
    struct BandDisk;

    void onEnteredUpgradeMode(BandDisk &slot);
    void arriveAsDisk(BandDisk &slot);
    void mountDisk(BandDisk &slot);
    void pollDisk(BandDisk &slot);
    void finishUpgrade(BandDisk &slot);
    void removeDisk(BandDisk &slot);

    std::vector<std::unique_ptr<BandDisk>> disks;
    QString firmwareName;
    bool started = false;
};

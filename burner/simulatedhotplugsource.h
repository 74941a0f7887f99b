// Hot-plug input played by a virtual band: when the band enters upgrade mode
// it restarts, then its USB device arrives and a temporary folder is mounted
// as its disk; once
// the firmware image has been written there, the band checks it, leaves and
// comes back on its serial port.
#pragma once

#include "hotplugsource.h"

#include <QString>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

class SimulatedBand;

class SimulatedHotplugSource : public HotplugSource {
    Q_OBJECT
public:
    // The band must outlive the source.
    explicit SimulatedHotplugSource(SimulatedBand *band, QObject *parent = nullptr);
    ~SimulatedHotplugSource() override;

    bool start() override;

    // The firmware image whose arrival on the disk ends the upgrade.
    void setFirmwareName(const QString &binName);

    // The disk's root ('/' at the end) while mounted, empty otherwise.
    QString diskRoot() const;

private slots:
    void onEnteredUpgradeMode();
    void arriveAsDisk();
    void mountDisk();
    void pollDisk();
    void finishUpgrade();

private:
    void removeDisk();

    SimulatedBand *band;
    QString firmwareName;
    std::unique_ptr<QTemporaryDir> disk;
    QTimer restartTimer;
    QTimer mountTimer;
    QTimer pollTimer;
    QTimer checkTimer;
    qint64 lastImageSize = -1;
    bool started = false;
};

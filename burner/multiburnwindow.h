// The burner for several bands at once: one panel per hub port. Each band is
// put into upgrade mode on its own link and worker, burned onto the disk
// that appears in its own hub port (never a disk whose port is unknown), and
// read again when it comes back; its PASS or FAIL, with the version it came
// back with, stays until it is unplugged. One band's trouble stays on its
// own panel.
#pragma once

#include "bandupgrade.h"
#include "burncycle.h"
#include "burnfilenames.h"
#include "hotplugsource.h"
#include "panelgrid.h"
#include "recordstore.h"

#include <QMainWindow>
#include <QTimer>

#include <atomic>
#include <memory>
#include <vector>

class PortSource;
class QThread;

class MultiBurnWindow : public QMainWindow {
    Q_OBJECT
public:
    // hotplug: where the bands' disks come from; required, outlives the window.
    MultiBurnWindow(int slotCount, bool autostart, const PortSource *ports, HotplugSource *hotplug,
                    QWidget *parent = nullptr);
    // Stops every band's work, waits for it and keeps its record.
    ~MultiBurnWindow() override;

    // Starts the hot-plug watch and the port watch; false when the hot-plug
    // watch is refused.
    bool init(int pollMs = 500);
    void markSimulated();

    PanelGrid *grid() const { return panels; }
    // The names def.xml gave at the last check.
    const BurnFileNames &burnFileNames() const { return burnFiles; }
    // Shorter waits and pauses for tests; the production values are 30 s,
    // 30 s and the burn's own 3 s.
    void setUpgradeTimeoutMs(int ms) { upgradeTimeoutMs = ms; }
    void setReturnTimeoutMs(int ms) { returnTimeoutMs = ms; }
    void setPauseMs(int ms) { pauseMs = ms; }

public slots:
    void startSlot(int slot);
    void startAllReady();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    enum class State { Empty, Ready, Upgrading, DiskWait, Burning, PortWait, Done };
    struct Slot {
        State state = State::Empty;
        QString devicePath;
        bool portPresent = false;
        bool diskPresent = false;
        QString bluetooth;             // as the band told before its upgrade
        std::unique_ptr<BurnCycle> cycle;
        QThread *worker = nullptr;     // the upgrade, or the read of the returned band
        std::atomic<bool> stopWorker{false};
        UpgradeResult upgrade = UpgradeResult::NotAnswered; // written by the worker
        BandIdentity identity;         // written by the worker
        bool identityRead = false;     // written by the worker
        QTimer stageTimer;
        BurnReport report;
    };

    void rescan();
    void portArrived(int slot, const QString &devicePath);
    void portLeft(int slot);
    void onVolumeMounted(const VolumeInfo &volume);
    void onUsbDeviceLeft(quint16 vendorId, quint16 productId, const QString &location);
    void upgradeDone(int slot);
    void burnEnded(int slot, const BurnReport &report);
    void readReturnedBand(int slot);
    void returnedBandRead(int slot);
    void stageTimedOut(int slot);
    void finish(int slot, BurnReport::Outcome outcome, const QString &error, const QString &detail);
    void freeSlot(int slot);
    void enterStage(int slot, State state, int timeoutMs);
    bool checkStationFiles();
    void showNote();
    void updateButtons();

    PanelGrid *panels;
    HotplugSource *hotplug;
    RecordStore store; // before the slots, so that it outlives their last report
    std::vector<std::unique_ptr<Slot>> bands;
    BurnFileNames burnFiles;
    QString stationProblem; // for the operator, empty when the station is fine
    bool autostart;
    int upgradeTimeoutMs = 30000;
    int returnTimeoutMs = 30000;
    int pauseMs = -1;
    int unplaced = 0;
};

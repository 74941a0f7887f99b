// The burner for several bands at once: one panel per hub port, one
// BurnController per panel. Each band is burned onto the disk that appears
// in its own hub port; its PASS or FAIL, with the version it came back with,
// stays until it is unplugged. One band's trouble stays on its own panel.
#pragma once

#include "burncontroller.h"
#include "burnfilenames.h"
#include "hotplugsource.h"
#include "panelgrid.h"
#include "recordstore.h"
#include "slotmanager.h"

#include <QMainWindow>

#include <memory>
#include <vector>

class PortSource;

class MultiBurnWindow : public QMainWindow {
    Q_OBJECT
public:
    // hotplug: where the bands' disks come from; required, outlives the window.
    MultiBurnWindow(int slotCount, bool autostart, const PortSource *ports, HotplugSource *hotplug,
                    QWidget *parent = nullptr);
    // Stops every band's run, waits for it and keeps its record.
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
    void showEnd(int slot, const BurnReport &report);
    void showEmpty(int slot);
    void onVolumeMounted(const VolumeInfo &volume);
    bool checkStation();
    void refresh();

    PanelGrid *panels;
    SlotManager slotManager;
    const PortSource *ports;
    HotplugSource *hotplug;
    RecordStore store; // before the controllers, so that it outlives their last report
    std::vector<std::unique_ptr<BurnController>> bands;
    BurnFileNames burnFiles;
    bool autostart;
    int upgradeTimeoutMs = 30000;
    int returnTimeoutMs = 30000;
    int pauseMs = -1;
};

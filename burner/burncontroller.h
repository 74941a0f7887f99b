// One band's burn, for every front end: the cycle (BurnCycle) on a thread of
// its own, so that talking to a silent band never holds up a window, and the
// run's record made the same way whoever drives it. Two ways to drive it:
// start() runs the whole cycle (panels, bandctl); reset() and burn() are the
// single window's two presses, with the disk in between watched here.
#pragma once

#include "banddiskwatch.h"
#include "bandupgrade.h"
#include "burncycle.h"
#include "burnreport.h"
#include "portsatlocation.h"
#include "recordstore.h"

#include <QObject>
#include <QThread>
#include <QTimer>

#include <functional>
#include <memory>

class HotplugSource;
class PortSource;

class BurnController : public QObject {
    Q_OBJECT
public:
    // hotplug: the station's events (shared by every band, outliving this);
    // ports: where the band's port is seen (null: the system's).
    BurnController(HotplugSource *hotplug, const PortSource *ports, QObject *parent = nullptr);
    // Stops a running cycle, keeps its record (within a bound) and ends the thread.
    ~BurnController() override;

    // Where the band is plugged in: only its disk and its port there count;
    // empty (one band, place unknown): any band's. Also the record's usbPath.
    // Only between runs.
    void setLocation(const QString &location);
    QString location() const { return place; }

    // The run's record goes to store (kept by the caller), or to keeper,
    // which is given it filled in.
    void setRecordStore(RecordStore *store);
    using RecordKeeper = std::function<void(RunRecord &record, const BurnReport &report)>;
    void setRecordKeeper(RecordKeeper keeper);
    // The record of a run, as every front end makes it.
    static RunRecord recordOf(const RecordStore &store, const BurnReport &report, const QString &location);

    // The whole cycle; false (and no finished()) when one is running or
    // the hot-plug source cannot start.
    bool start(const BurnCycleOptions &options);

    // Reset: reads the band's identity and sends the upgrade on a link at
    // devicePath, off the caller's thread; resetDone() tells how it went.
    // Then the band's disk is waited for, at most upgradeTimeoutMs.
    void reset(const QString &devicePath, const QString &usbLocation, int upgradeTimeoutMs);
    bool isResetting() const { return resetting; }
    // Watches for the band's disk between the presses (diskReady, diskGone).
    void watchDisks();
    QString disk() const { return diskRoot; }
    // Whether a Reset's band is expected as a disk (its time-out running).
    bool awaitsDisk() const { return upgradeTimer.isActive(); }
    // The band came back on its port instead: no longer expected as a disk.
    void stopAwaitingDisk() { upgradeTimer.stop(); }
    // Burn: burns the disk at hand, then waits for the band to come back
    // (options' files, pause and return time-out) and reads its version.
    bool burn(const BurnCycleOptions &options);

    // Ends a running cycle; finished() follows as interrupted.
    void stop(const QString &reason = QString());
    // The same, waiting at most budgetMs for its report (and record).
    void stopAndWait(const QString &reason, int budgetMs);
    bool isRunning() const { return running; }
    BurnReport::Stage stage() const { return currentStage; }

signals:
    void stageChanged(BurnReport::Stage stage);
    void stepStarted(uint idx);
    void stepReported(uint idx, bool passed);
    // After the run's record was kept.
    void finished(const BurnReport &report);
    void resetDone(UpgradeResult result);
    void upgradeTimedOut();
    void diskReady(const QString &root);
    void diskGone();

private:
    void beginThread();
    void endThread();
    void makeCycle();
    void onFinished(BurnReport report);
    void onDiskMounted(const QString &root);
    void onBandRemoved();
    void keepRecord(const BurnReport &report);

    HotplugSource *hotplug;
    const PortSource *ports;
    std::unique_ptr<PortSource> systemPorts; // when none are given and a place is
    QString place;
    RecordStore *store = nullptr;
    RecordKeeper keeper;
    QThread thread;
    QObject context; // lives on the thread: what runs there is invoked on it
    // Made, used and destroyed on the thread.
    std::unique_ptr<HotplugSource> hotplugHere;
    std::unique_ptr<PortsAtLocation> portsHere;
    std::unique_ptr<BurnCycle> cycle;
    // Between the presses, on the caller's thread.
    std::unique_ptr<BandDiskWatch> diskWatch;
    QTimer upgradeTimer;
    QString diskRoot;        // the band's disk, ending in '/'; empty = none
    QString pendingDiskRoot; // a disk that came while a stopped run was ending
    QString resetBluetooth;  // the band Reset was sent to
    bool hotplugStarted = false;
    bool running = false;
    bool resetting = false;
    BurnReport::Stage currentStage = BurnReport::Stage::Upgrade;
};

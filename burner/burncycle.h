// The burner's whole cycle without a window: put the band into upgrade
// mode, wait for its disk, burn it, wait for its serial port to come back.
// Runs in the event loop of its thread (BurnController gives it one of its
// own, as it talks to the band) and ends with finished(); every wait has a
// bound.
#pragma once

#include "banddiskwatch.h"
#include "burnprocess.h"
#include "burnreport.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

class BandChannel;
class HotplugSource;
class PortSource;

struct BurnCycleOptions {
    BurnFileNames files;                        // from def.xml
    QString sourceFolder = QStringLiteral("bin/");
    // Send the upgrade command first, on a link of its own opened on
    // upgradeDevice (or through openBand on upgradePort); neither skips the
    // upgrade (the band is in upgrade mode already). The port number, when
    // known, names the band in the error.
    int upgradePort = -1;
    QString upgradeDevice;
    // Where the band is plugged in: only a disk there is its disk. Empty
    // when unknown (see BandDiskWatch::setBandLocation).
    QString bandLocation;
    // Burn into this folder instead of waiting for the band's disk.
    QString diskRoot;
    int diskTimeoutMs = 30000;
    // Wait for the band's serial port after the burn; false ends the
    // cycle with the burn.
    bool waitForPort = true;
    int portTimeoutMs = 30000;
    int pauseMs = 3000; // the burn's two pauses; negative keeps the burn's own setting
    // The Bluetooth address of the band being burned, when known before the
    // upgrade (it is read then when the cycle sends the upgrade itself). A
    // band that comes back with another address is not the one burned.
    QString expectedBluetooth;
    // Opens the band on a port number, for the upgrade and for reading it
    // when it returns; null: a link of its own on the port's device path.
    std::function<std::unique_ptr<BandChannel>(quint8 port)> openBand;
    // Names the band's USB location on each run.log line of the burn, so
    // that runs of several bands at once can be told apart; empty keeps
    // the lines as they have always been.
    QString logLocation;
};

class BurnCycle : public QObject {
    Q_OBJECT
public:
    // hotplug: where the band's disk comes from (started here; may be null
    // when every run gives diskRoot). ports: where its serial port returns
    // (null: the system's ports). Both must outlive the cycle.
    BurnCycle(HotplugSource *hotplug, const PortSource *ports, QObject *parent = nullptr);
    ~BurnCycle() override; // stops a running cycle and waits for its threads

    // Starts one cycle; false (and no finished()) when one is running or the
    // hot-plug source cannot start.
    bool start(const BurnCycleOptions &options);
    // Ends a running cycle; finished() follows with outcome Interrupted and
    // reason (e.g. "the window was closed") as its error.
    void stop(const QString &reason = QString());
    bool isRunning() const;
    // Where a running cycle is.
    BurnReport::Stage stage() const;

signals:
    void stageChanged(BurnReport::Stage stage);
    void stepStarted(uint idx);
    void stepReported(uint idx, bool passed);
    void finished(const BurnReport &report);

private slots:
    void proceed();
    void onDiskMounted(const QString &root);
    void onBandRemoved();
    void onStepReported(uint idx, bool passed);
    void onBurnEnded();
    void lookForPort();
    void readReturnedBand();
    void onTimeout();

private:
    void enterStage(BurnReport::Stage stage, int timeoutMs);
    void startBurn(const QString &root);
    void finish(BurnReport::Outcome outcome, const QString &error = QString());
    bool upgrades() const;
    bool sendUpgrade();
    std::unique_ptr<BandChannel> channelFor(quint8 port, const QString &devicePath) const;

    HotplugSource *hotplug;
    BandDiskWatch diskWatch;
    CBurnProcess burnProcess;
    // The band's port while it is awaited, looked for on this thread: a
    // watcher thread per band would cost each band memory of its own.
    QTimer portTimer;
    qint32 returnedPort = -1; // -1: not seen
    QString returnedPath;
    const PortSource *ports;
    QTimer stageTimer;
    QTimer retryTimer; // asks a band that came back again until it answers
    QElapsedTimer clock;
    BurnCycleOptions options;
    BurnReport report;
    bool running = false;
    bool hotplugStarted = false;
    bool burnInterrupted = false;
    QString stopReason;
};

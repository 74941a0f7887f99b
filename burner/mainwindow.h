// The burner's window: Reset puts the connected band into upgrade mode, Burn
// copies the firmware files onto the band's disk and shows each step.
#pragma once

#include "banddiskwatch.h"
#include "burncycle.h"
#include "burnfilenames.h"
#include "comthread.h"
#include "hotplugsource.h"
#include "recordstore.h"
#include "stationcheck.h"

#include <QLabel>
#include <QMainWindow>
#include <QString>
#include <QTimer>

class PortSource;

namespace Ui { class MainWindow; }

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // ports: where the port watcher looks for the band; null means the
    // system's ports. hotplug is required and must outlive the window.
    MainWindow(const PortSource *ports, HotplugSource *hotplug, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Starts the hot-plug watch, checks def.xml and bin/ and starts the port
    // watcher last; false only when the hot-plug watch is refused. A station
    // problem shows in the window instead.
    bool init();

    // The names def.xml gave at the last check.
    const BurnFileNames &burnFileNames() const;

    // Says inside the window, not only in its title, that the band is virtual.
    void markSimulated();

    // How long a band may take from Reset to its disk before the operator is
    // asked to reconnect it; 30 s unless a test shortens it.
    void setUpgradeTimeoutMs(int ms);
    // How long the band may take to come back after a burn (30 s).
    void setReturnTimeoutMs(int ms);

public slots:
    void slotOnSBConnected(bool yes);
    void slotOnPbReset();
    void slotOnPbBurn();
    void slotOnProcessOk(uint idx, bool rst);

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void slotOnStepStarted(uint idx);
    void slotOnBandDiskMounted(const QString &root);
    void slotOnBandRemoved();
    void slotOnBurnEnded(const BurnReport &report);
    void slotOnUpgradeTimeout();

private:
    enum class RowLook { NotRun, Running, Passed, Failed };

    // Stops a burn still running at close and waits for its report.
    void finishBurnForRecord(const QString &reason);
    bool checkStationFiles();
    void showStationProblem();
    QString stationProblemText() const;
    void takeDisk(const QString &root);
    void setRowLook(int row, RowLook look);
    void setAllRowsNotRun();
    void showStatus(const QString &iconPath, const QString &text);
    void showCritical(const QString &text);

    Ui::MainWindow *ui;
    QLabel statusIcon;
    QLabel statusText;
    BurnFileNames burnFiles;
    StationProblem stationProblem;
    QString diskRoot; // the band's disk, ending in '/'; empty = none
    // A disk that arrived while a stopped burn was still ending.
    QString pendingDiskRoot;
    // The band Reset was last sent to, by its Bluetooth address (when it told).
    QString resetBluetooth;
    QTimer upgradeTimer; // running from Reset until the band's disk is seen
    // The band just burned has come back on its port: its result stays and
    // Reset stays off for it until its port goes.
    bool burnedBandPresent = false;
    int returnTimeoutMs = 30000;
    RecordStore store; // before the cycle, so that it outlives the cycle's last report
    // Each Burn press is one cycle onto the disk at hand, waiting for the
    // band to come back (the operator drives the upgrade with Reset).
    BurnCycle burnCycle;
    CComThread comThread;
    HotplugSource *hotplug;
    BandDiskWatch diskWatch;
};

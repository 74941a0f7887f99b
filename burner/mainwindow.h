// The burner's window: Reset puts the connected band into upgrade mode, Burn
// copies the firmware files onto the band's disk and shows each step.
#pragma once

#include "banddiskwatch.h"
#include "burncycle.h"
#include "burnfilenames.h"
#include "comthread.h"
#include "hotplugsource.h"
#include "recordstore.h"

#include <QLabel>
#include <QMainWindow>
#include <QString>

class PortSource;

namespace Ui { class MainWindow; }

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // ports: where the port watcher looks for the band; null means the
    // system's ports. hotplug is required and must outlive the window.
    MainWindow(const PortSource *ports, HotplugSource *hotplug, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Starts the hot-plug watch, reads def.xml and starts the port watcher
    // last; false when the program cannot run.
    bool init();

    // The names init() read from def.xml.
    const BurnFileNames &burnFileNames() const;

public slots:
    void slotOnSBConnected(bool yes);
    void slotOnPbReset();
    void slotOnPbBurn();
    void slotOnProcessOk(uint idx, bool rst);

private slots:
    void slotOnStepStarted(uint idx);
    void slotOnBandDiskMounted(const QString &root);
    void slotOnBandRemoved();
    void slotOnBurnEnded(const BurnReport &report);

private:
    enum class RowLook { Waiting, Running, Passed, Failed };

    // Stops a burn still running at close and waits for its report.
    void finishBurnForRecord();
    void takeDisk(const QString &root);
    void setRowLook(int row, RowLook look);
    void setAllRowsWaiting();
    void showStatus(const QString &iconPath, const QString &text);
    void showCritical(const QString &text);

    Ui::MainWindow *ui;
    QLabel statusIcon;
    QLabel statusText;
    BurnFileNames burnFiles;
    QString diskRoot; // the band's disk, ending in '/'; empty = none
    // A disk that arrived while a stopped burn was still ending.
    QString pendingDiskRoot;
    RecordStore store; // before the cycle, so that it outlives the cycle's last report
    // Each Burn press is one cycle onto the disk at hand: no upgrade, no
    // wait for the port (the operator drives those with Reset).
    BurnCycle burnCycle;
    CComThread comThread;
    HotplugSource *hotplug;
    BandDiskWatch diskWatch;
};

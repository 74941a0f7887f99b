// The burner's window for one band: Reset puts the connected band into
// upgrade mode, Burn copies the firmware files onto the band's disk and
// shows each step. The band's cycle is its BurnController's, on a thread
// of its own; the window only shows and asks.
#pragma once

#include "burncontroller.h"
#include "burnfilenames.h"
#include "hotplugsource.h"
#include "recordstore.h"
#include "slotmanager.h"

#include <QLabel>
#include <QMainWindow>
#include <QString>

class PortSource;
class QPushButton;
class QTableWidget;

namespace Ui { class MainWindow; }

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // ports: where the band's port is looked for; null means the system's
    // ports. hotplug is required and must outlive the window.
    MainWindow(const PortSource *ports, HotplugSource *hotplug, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Starts the hot-plug watch, checks the station and starts watching
    // the port last (every pollMs, and at once on a change); false only when
    // the hot-plug watch is refused. A station problem shows in the window.
    bool init(int pollMs = 1000);

    // The names def.xml gave at the last check.
    const BurnFileNames &burnFileNames() const { return burnFiles; }

    // Says inside the window, not only in its title, that the band is virtual.
    void markSimulated();

    // How long a band may take from Reset to its disk before the operator is
    // asked to reconnect it (30 s), and to come back after a burn (30 s);
    // the burn's pauses (its own 3 s unless set).
    void setUpgradeTimeoutMs(int ms) { upgradeTimeoutMs = ms; }
    void setReturnTimeoutMs(int ms) { returnTimeoutMs = ms; }
    void setPauseMs(int ms) { pauseMs = ms; }

    // What the window shows, for its tests.
    QString statusText() const { return statusLine.text(); }
    QPixmap statusIcon() const { return statusPicture.pixmap(); }
    QPushButton *resetButton() const;
    QPushButton *burnButton() const;
    QTableWidget *stepTable() const;
    const BurnController &controller() const { return band; }

public slots:
    void slotOnSBConnected(bool yes);
    void slotOnPbReset();
    void slotOnPbBurn();
    void slotOnProcessOk(uint idx, bool rst);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void onResetDone(UpgradeResult result);
    void onDiskReady();
    void onDiskGone();
    void onBurnEnded(const BurnReport &report);
    bool checkStation();
    QString stationProblemText() const;
    void showStatus(const QString &iconPath, const QString &text);
    void showCritical(const QString &text);

    Ui::MainWindow *ui;
    QLabel statusPicture;
    QLabel statusLine;
    BurnFileNames burnFiles;
    SlotManager slot; // the window's one slot: whether its band is there, whether it may start
    const PortSource *ports;
    HotplugSource *hotplug;
    bool portPresent = false;
    // The band just burned has come back on its port: its result stays and
    // Reset stays off for it until its port goes.
    bool burnedBandPresent = false;
    int upgradeTimeoutMs = 30000;
    int returnTimeoutMs = 30000;
    int pauseMs = -1;
    RecordStore store; // before the controller, so that it outlives its last report
    BurnController band;
};

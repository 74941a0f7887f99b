// The tester for several bands at once: one panel per hub port, each band
// run by its own controller, so that one band that fails, hangs, is pulled
// out or whose worker fails never holds up another panel or the painting.
#pragma once

#include "panelgrid.h"
#include "teststation.h"

#include <QMainWindow>

class PortSource;

class MultiTestWindow : public QMainWindow {
    Q_OBJECT
public:
    // autostart: test each band as soon as it is plugged in.
    MultiTestWindow(int slotCount, bool autostart, const PortSource *ports = nullptr, QWidget *parent = nullptr);

    // Reads def.xml and starts watching the ports; false when def.xml is unusable.
    bool init(int pollMs = 500);
    QString initFailure() const { return station.definitionFailure(); }
    void markSimulated();

    PanelGrid *grid() const { return panels; }
    // Where the bands are; a test may shorten its return time-out before init().
    SlotManager *slotManager() { return &station.slotManager(); }

public slots:
    void startSlot(int slot) { station.start(slot); }
    void startAllReady() { station.startAllReady(); }

private:
    void showBand(int slot);
    void refresh();

    TestStation station;
    PanelGrid *panels;
    bool autostart;
};

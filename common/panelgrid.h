// The body of a window that serves several bands: its panels in a grid (in
// a scroll area when they do not fit), a button that starts every ready
// panel, and the band ports with their USB locations, looked at whenever the
// port list may have changed.
#pragma once

#include "bandpanel.h"
#include "portsource.h"
#include "slotmap.h"

#include <QTimer>
#include <QWidget>

class QLabel;
class QPushButton;

class PanelGrid : public QWidget {
    Q_OBJECT
public:
    struct BandPlace {
        QString location;   // the USB location, or the port's name when unknown
        QString devicePath; // for sb_link_open
    };

    // ports: null = the system's; must outlive the grid.
    PanelGrid(int slotCount, const QStringList &stepNames, const QString &startText, const QString &startAllText,
              const PortSource *ports, QWidget *parent = nullptr);

    BandPanel *panel(int slot) const { return panels.value(slot); }
    int slotCount() const { return int(panels.size()); }
    SlotMap &slotMap() { return map; }
    QPushButton *startAllButton() const { return startAll; }
    void setNote(const QString &text);
    // True when some panel shows a band and every panel that does shows
    // its PASS or FAIL: none waits for a start, none is running. allPassed:
    // whether every one of them shows PASS.
    bool everyBandHasItsResult(bool *allPassed = nullptr) const;
    QString noteText() const;

    // The band ports now listed, by location.
    QList<BandPlace> bandPlaces() const;
    // Thread-safe: whether a band port at location is listed now.
    bool isListed(const QString &location) const;

    // Looks at the ports now and then every pollMs (500 ms unless a test
    // shortens it), and at once when the source tells of a change.
    void startWatching(int pollMs = 500);

signals:
    void portsMayHaveChanged();
    void startAllRequested();

private:
    QVector<BandPanel *> panels;
    SlotMap map;
    const PortSource *source;
    QPushButton *startAll;
    QLabel *note;
    QTimer pollTimer;
};

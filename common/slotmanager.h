// Which band is in which slot of a window, and what each slot may do: bands
// arrive and leave by USB location, a slot is free, ready, running, passed
// or failed, and starts only when its band is there and the station is
// usable. Multi-panel windows have a slot per panel, single windows one.
// No widgets: the window shows what it is told here.
#pragma once

#include "slotmap.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

#include <functional>

class PortSource;

struct BandPlace {
    QString location;   // the USB location, or the port's name when unknown
    QString devicePath; // opens the band's link
    qint32 port = -1;   // the digits of its port's name, for the debug output
};

class SlotManager : public QObject {
    Q_OBJECT
public:
    enum class State { Empty, Ready, Running, Passed, Failed };
    enum class Outcome { Pass, Fail, Interrupted };

    explicit SlotManager(int slotCount, QObject *parent = nullptr);

    // Policy, set before watching.
    void setAutostart(bool on);
    // A band that passed restarts: its port goes and comes back, and its
    // result stays through that; one not back within returnTimeoutMs was
    // taken away and its slot is freed. 0 (the default) turns this off.
    void setRestartAfterPass(int returnTimeoutMs);
    // Whether a band showing its pass may be started again (false: only
    // after it has left and a new band has come).
    void setPassedMayStart(bool may);
    // Whether a failure stays shown when its band's port and disk are both
    // gone (false: the slot is freed). A band restarting into upgrade mode
    // shows neither for a while and is still plugged in.
    void setFailureStaysWhenGone(bool stays);

    // Non-empty: what is wrong with the station, for the operator; no slot
    // starts until it is cleared.
    void setStationProblem(const QString &operatorText);
    // Asked at each look at the ports for the station's problem now, so that
    // a station fixed meanwhile may start bands again without a restart.
    void setStationCheck(std::function<QString()> check);
    QString stationProblem() const { return problem; }

    // Looks at the ports now and every pollMs, and at once when the source
    // tells of a change. ports: null = the system's; must outlive this.
    void startWatching(const PortSource *ports, int pollMs = 500);
    // Looks at the ports now.
    void rescan();
    // Thread-safe: whether a band port at location is listed now.
    bool isListed(const QString &location) const;
    // A band in upgrade mode is there by its disk: its slot is freed only
    // when port and disk are both gone.
    void setDiskPresent(const QString &location, bool present);

    // A run begins; false (nothing changes) when the slot may not start.
    bool start(int slot);
    // A run has ended. A band already gone frees its slot.
    void finish(int slot, Outcome outcome);

    int size() const { return int(bands.size()); }
    State state(int slot) const;
    bool present(int slot) const; // by its port
    QString location(int slot) const;
    QString devicePath(int slot) const;
    int find(const QString &location) const;
    bool mayStart(int slot) const;
    // Some slot is ready and may start: what "start all" would start.
    bool anyReady() const;
    // Bands listed beyond the bands, at the last look.
    int unplaced() const { return unplacedCount; }
    // Some slot holds a band, and every one that does shows its result.
    bool everyBandHasItsResult(bool *allPassed = nullptr) const;

signals:
    void bandArrived(int slot); // a new band: show the slot cleared and ready
    void slotFreed(int slot);   // its band is gone: show the slot empty
    void startDue(int slot);    // autostart: start it now
    void changed();             // any change of state or presence

private:
    struct Slot {
        State state = State::Empty;
        bool portPresent = false;
        bool diskPresent = false;
        QString devicePath;
        qint32 port = -1;
        bool restartDue = false;     // passed with its port there: that port goes and comes back
        bool awaitingReturn = false; // gone for that restart
        QElapsedTimer goneFor;
    };

    QList<BandPlace> listedPlaces() const;
    void portArrived(int slot, const BandPlace &place);
    void portLeft(int slot);
    void freeSlot(int slot);
    bool valid(int slot) const { return slot >= 0 && slot < bands.size(); }

    SlotMap map;
    QVector<Slot> bands;
    const PortSource *source = nullptr;
    QTimer pollTimer;
    QString problem;
    std::function<QString()> stationCheck;
    bool autostart = false;
    bool passedMayStart = true;
    bool failureStaysWhenGone = false;
    int returnTimeoutMs = 0;
    int unplacedCount = 0;
};

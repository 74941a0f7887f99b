// The burner's cycle on several bands at once: one BurnCycle per band, each
// on a thread of its own with its own links, each band's disk known by the
// band's USB location. One band failing, hanging or pulled out never holds
// up or changes another's run. Runs in the caller's event loop.
#pragma once

#include "burncycle.h"
#include "burnreport.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class HotplugSource;
class PortSource;

struct BurnSlot {
    QString usbPath; // where the band is plugged in; a band without one is not burned
    int port = -1;   // its port number, for the upgrade
};

class ParallelBurn : public QObject {
    Q_OBJECT
public:
    // hotplug: the station's events for every band (started here); ports:
    // where the bands' ports are seen. Both must outlive this object.
    ParallelBurn(HotplugSource *hotplug, const PortSource *ports, QObject *parent = nullptr);
    ~ParallelBurn() override; // stops every running cycle and waits for its thread

    // Starts a cycle per slot with `options` (upgradePort, logLocation and
    // the port watch are set per band). Each band gets links of its own:
    // options.openBand, or else a link on the band port of that number; never the
    // process-wide link, which serves one band only. False when a run is going on or the
    // hot-plug source cannot start; then nothing starts.
    bool start(const QList<BurnSlot> &places, const BurnCycleOptions &options);
    // Every running cycle ends as interrupted with reason.
    void stop(const QString &reason);
    bool isRunning() const;

signals:
    void stageChanged(int slot, BurnReport::Stage stage);
    void bandFinished(int slot, const BurnReport &report);
    // After every band's bandFinished; reports in the order of the places.
    void finished(const QList<BurnReport> &reports);

private:
    class Band;
    void onBandFinished(int slot, const BurnReport &report);
    void tearDown();

    HotplugSource *hotplug;
    const PortSource *ports;
    bool hotplugStarted = false;
    std::vector<std::unique_ptr<Band>> bands;
    QList<BurnReport> reports;
    int pending = 0; // bands whose report is still to come
};

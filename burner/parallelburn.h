// The burner's cycle on several bands at once: one BurnController per band,
// each band's disk and port known by its USB location. One band failing,
// hanging or pulled out never holds up or changes another's run.
#pragma once

#include "burncontroller.h"
#include "burnreport.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
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
    ~ParallelBurn() override;

    // Each band's record, a refused one's too: made for store and given to
    // keeper with the band's slot (see BurnController::setRecordKeeper).
    using RecordKeeper = std::function<void(int slot, RunRecord &record, const BurnReport &report)>;
    void setRecords(RecordStore *store, RecordKeeper keeper);

    // Starts a cycle per slot with `options` (upgradePort, logLocation and
    // the place are set per band). Each band gets links of its own:
    // options.openBand, or else a link on the band port of that number.
    // False when a run is going on or the hot-plug source cannot start;
    // then nothing starts.
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
    void onBandFinished(int slot, const BurnReport &report);

    HotplugSource *hotplug;
    const PortSource *ports;
    bool hotplugStarted = false;
    RecordStore *store = nullptr;
    RecordKeeper keeper;
    std::vector<std::unique_ptr<BurnController>> bands;
    QList<BurnReport> reports;
    int pending = 0; // bands whose report is still to come
};

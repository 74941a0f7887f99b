// The tester's bands as both windows serve them: def.xml read once, a slot
// manager that knows which band is where and when it may start, a
// controller per slot, and one store for their records. No widgets.
#pragma once

#include "defreader.h"
#include "recordstore.h"
#include "slotmanager.h"
#include "testcontroller.h"

#include <QObject>

#include <memory>
#include <vector>

class PortSource;

class TestStation : public QObject {
    Q_OBJECT
public:
    // ports: null = the system's; must outlive the station.
    TestStation(int slotCount, const PortSource *ports, QObject *parent = nullptr);
    // Every run under way is stopped before its next step, waited for and recorded.
    ~TestStation() override;

    SlotManager &slotManager() { return manager; }
    const RecordStore &records() const { return store; }

    // Reads def.xml, tells the slot manager what is wrong with the station,
    // if anything, and starts watching the ports; false when def.xml is unusable.
    bool init(int pollMs = 500);
    QString definitionFailure() const { return defReader.failureReason(); } // English
    // Why def.xml is unusable, for the operator; empty when it is fine.
    QString definitionProblem() const;

    // Starts the slot's band when the slot manager allows it.
    bool start(int slot);
    void startAllReady();
    QString devicePath(int slot) const { return controllers[size_t(slot)]->devicePath(); }

signals:
    void started(int slot);
    void stepStarted(int slot, int row);
    // The record is kept and the slot manager told before this is sent.
    void finished(int slot, const TestResult &result);

private:
    void onFinished(int slot, const TestResult &result);

    RecordStore store; // outlives the controllers, which keep their records in it
    CDefReader defReader;
    SlotManager manager; // outlives the controllers, which ask it whether their band is there
    std::vector<std::unique_ptr<TestController>> controllers;
    const PortSource *ports;
    bool definitionUsable = false;
};

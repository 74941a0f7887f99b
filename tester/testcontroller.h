// One band's test run, with no widgets: the sequence on a thread of its own
// and a link of the band's own, its steps and result as signals on the
// controller's thread, and its record. Both tester windows and bandctl run
// a band through one of these.
#pragma once

#include "recordstore.h"
#include "testsequence.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class TestRun;

class TestController : public QObject {
    Q_OBJECT
public:
    // store: where each run's record is kept; must outlive the controller.
    // Null until setRecordStore(), which must come before a run ends.
    explicit TestController(RecordStore *store = nullptr, QObject *parent = nullptr);
    // Stops a run under way before its next step, waits for it and keeps its record.
    ~TestController() override;

    void setRecordStore(RecordStore *store) { records = store; }
    // Asked on the worker after a step failed: false means the band was
    // pulled out, and the run is interrupted rather than failed.
    void setPresenceCheck(std::function<bool()> bandPresent) { presence = std::move(bandPresent); }
    // The band is a virtual one: its records say so.
    void setSimulated(bool on) { simulated = on; }
    // Runs on the worker in place of the sequence, so that a test can make
    // the worker fail; empty = the sequence itself.
    using Runner = std::function<TestResult(TestSequence &, BandChannel &, const TestDefinition *)>;
    void setRunner(Runner runner) { runnerOverride = std::move(runner); }

    // Starts a run on the band at devicePath; usbLocation goes into the
    // record (empty when unknown). Without a definition the first step that
    // writes fails. False while a run is under way.
    bool start(const QString &devicePath, const QString &usbLocation, const std::optional<TestDefinition> &definition);
    bool isRunning() const { return run != nullptr; }
    // The run stops before its next step and is interrupted.
    void requestStop();

    QString devicePath() const { return path; }
    QString usbLocation() const { return location; }
    // The last run's result and what became of its record.
    const TestResult &result() const { return lastResult; }
    const RunRecord &record() const { return lastRecord; }
    RecordStore::Kept recordKept() const { return kept; }
    // Why the last record was not stored; empty when it was.
    QString recordProblem() const { return problem; }

signals:
    void stepStarted(int row);
    // The record is kept before this is sent.
    void finished(const TestResult &result);

private:
    void collect();
    void keepRecord();

    RecordStore *records;
    std::function<bool()> presence;
    Runner runnerOverride;
    bool simulated = false;
    TestRun *run = nullptr;
    QString path;
    QString location;
    QString defSha256; // of the run's definition, for its record
    TestResult lastResult;
    RunRecord lastRecord;
    RecordStore::Kept kept = RecordStore::Kept::Stored;
    QString problem;
};

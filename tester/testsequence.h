// The tester's fixed test sequence against one band: open the port, read
// the version, set and read back the clock, write and read back the LEDs,
// the wearer settings and the alarm clock, restart the band. No widgets:
// the window and the command-line tool both run it and only present the
// result.
#pragma once

#include "storeddifferences.h"
#include "testdefinition.h"

#include <bandlink.h>

class BandChannel;

#include <QDateTime>
#include <QString>

#include <atomic>
#include <functional>

struct TestResult {
    enum class Outcome { Pass, Fail, Interrupted };

    Outcome outcome = Outcome::Fail;
    int failedRow = -1;     // the table row of the step that failed; -1 on a pass
    QString failedStep;     // that step's name (TestSequence::stepName), empty on a pass
    sb_version_t version{}; // valid when reached(TestSequence::RowGetVersion)
    sb_time_t sentTime{};   // the PC's clock as sent; valid when reached(RowSetTime)
    sb_time_t readTime{};   // the band's clock read back; valid when reached(RowGetTime)
    sb_led_t sentLed{};     // the LEDs sent; valid when reached(RowSetLed)
    sb_led_t readLed{};     // as read back, also when it differs from sentLed
    bool readLedValid = false;  // the band answered the LEDs read
    sb_conf_t sentConf{};   // the wearer settings sent; valid when reached(RowSetConf)
    sb_conf_t readConf{};   // as read back, also when it differs from sentConf
    bool readConfValid = false; // the band answered the settings read
    AlarmTable sentAlarms{}; // the alarm table sent; valid when reached(RowSetAlarms)
    AlarmTable readAlarms{}; // as read back, also when it differs from sentAlarms
    bool readAlarmsValid = false; // the band answered the alarms read
    // A read-back that failed because the band stored something else: each such field.
    QList<StoredDifference> differences;
    QDateTime started;      // local time at the start and at the end of the run
    QDateTime finished;
    QString error;          // why the failed step failed, when known (English)
    bool portHeld = false;  // the port would not open because another program holds it

    bool passed() const { return outcome == Outcome::Pass; }
    // True when the step of `row` ran and passed.
    bool reached(int row) const { return passed() || failedRow > row; }
};

class TestSequence {
public:
    // Rows of the tester's result table.
    enum Row {
        RowOpenPort = 0,
        RowGetVersion = 1,
        RowSetTime = 2,
        RowGetTime = 3,
        RowSetLed = 4,
        RowGetLed = 5,
        RowSetConf = 6,
        RowGetConf = 7,
        RowSetAlarms = 8,
        RowGetAlarms = 9,
        RowReset = 10,
        RowClosePort = 11,
        RowCount = 12
    };

    // English name of the step in `row` ("open port", "read version", ...).
    static QString stepName(int row);
    static QString outcomeName(TestResult::Outcome outcome); // "pass", "fail", "interrupted"

    // Optional: asked after a step failed; false means the band was pulled
    // out, and the run counts as interrupted rather than failed.
    void setPresenceCheck(std::function<bool()> bandPresent);

    // Optional: called on the running thread as each step begins, with its row.
    void setStepStarted(std::function<void(int row)> started);

    // Thread-safe. The run stops before its next step and is interrupted;
    // the request stays in force, so later runs end at once as well.
    void requestStop();

    // Runs the sequence on a band of its own (see bandchannel.h): several
    // sequences may run at once, each on its own thread and channel.
    // definition: what def.xml gave, null when it was not loaded (fails the
    // first step that writes, the LEDs). On a pass the channel is closed;
    // after a failure it stays open.
    TestResult run(BandChannel &band, const TestDefinition *definition);

    // The band's clock record for a local date and time: day and month
    // count from 0, the year from 2000 (0 before 2000, kept to 8 bits).
    static sb_time_t bandTimeOf(const QDateTime &local);

private:
    int runSteps(BandChannel &band, const TestDefinition *definition, TestResult &r);

    std::function<bool()> bandPresent;
    std::function<void(int)> stepStarted;
    std::atomic<bool> stopRequested{false};
};

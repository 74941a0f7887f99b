// One run of the tester, the burner or bandctl, as the station keeps it.
#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QUuid>

enum class RunOutcome { Pass, Fail, Interrupted };

QString outcomeName(RunOutcome outcome);
// False for a name that is none of "pass", "fail", "interrupted".
bool outcomeFromName(const QString &name, RunOutcome *outcome);

// A front end's own outcome (its Pass, Fail and Interrupted) as a record's.
template <typename Outcome>
RunOutcome runOutcomeOf(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Pass: return RunOutcome::Pass;
    case Outcome::Fail: return RunOutcome::Fail;
    case Outcome::Interrupted: break;
    }
    return RunOutcome::Interrupted;
}

struct RunRecord {
    QUuid id;
    QString program;       // "tester", "burner"
    QString station;
    QString operatorLogin;
    QDateTime startedAt;   // UTC
    QDateTime endedAt;     // UTC
    RunOutcome outcome = RunOutcome::Interrupted;
    QString failedStep;    // name of the step that failed, when it failed
    int failedRow = -1;    // its row in the window's table
    QString unit;          // the band's identity (Bluetooth address) when it was read
    QJsonObject details;   // what the program sent, read and copied
    bool simulated = false; // ran on a virtual band: never counted as production
    QString usbPath;       // where the band was plugged in (e.g. "1-1.4.2"); empty when unknown
    QString defSha256;     // of the def.xml the run used; empty when none was read
    QString imageSha256;   // a burn's firmware image as copied; empty otherwise
    QString imageVersion;  // the firmware version the band reported after its burn
    bool firstTry = true;  // set by the store: the unit's first run here today

    // A new record with a fresh id, the operator's login and the start time.
    static RunRecord begin(const QString &program, const QString &station);
    // Sets the end time and the outcome.
    void finish(RunOutcome result, const QString &step = QString(), int row = -1);

    qint64 durationMs() const;
    QString day() const;   // UTC day of the start, yyyy-MM-dd
    QJsonObject toJson() const;
    // The record toJson() gave; false when json is not one.
    static bool fromJson(const QJsonObject &json, RunRecord *record);
};

// ISO 8601 UTC with milliseconds; sorts as text in the same order as in time.
QString isoUtc(const QDateTime &time);

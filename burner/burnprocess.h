// One burn on its own thread: checks the source files and the band's disk,
// removes old files, copies the new ones, reports each step and logs the run.
#pragma once

#include "burnfilenames.h"
#include "filecopy.h"

#include <QFile>
#include <QHash>
#include <QMutex>
#include <QTextStream>
#include <QThread>
#include <QWaitCondition>

#include <atomic>

class CBurnProcess : public QThread {
    Q_OBJECT
public:
    explicit CBurnProcess(QObject *parent = nullptr);
    ~CBurnProcess() override; // stops a running burn and waits for it

    // Starts one burn onto the disk mounted at diskRoot (ending in '/').
    // Does nothing and returns false when diskRoot or either name is empty,
    // or while running. A burn that fails at once may have ended by the time
    // this returns: only the return value says it started.
    bool startBurn(const QString &diskRoot, const BurnFileNames &files);

    // Asks a running burn to end at once and returns without waiting: the
    // step in progress is logged and reported as failed, then the run ends
    // by itself and releases run.log. A reason given ("window closed") is
    // logged as a line of its own after that step.
    void requestStop(const QString &reason = QString());
    // requestStop(), then waits for the thread.
    void stop(const QString &reason = QString());

    // The two pauses before the copies; 3000 ms unless a test shortens them.
    void setPauseMs(int ms);
    // Where the files to burn are taken from, ending in '/'; "bin/" by
    // default. Only between runs.
    void setSourceFolder(const QString &folder);
    QString sourceFolder() const;
    // Puts "[LOCATION] " after the time on each run.log line, so that burns
    // of several bands at once can be told apart; empty (the default)
    // writes the lines as they have always been. Only between runs.
    void setLogLocation(const QString &location);
    // Each file the last run copied, by file name, with its SHA-256 as
    // copied and as read back (also for a copy that failed on the
    // read-back); read it once the run has ended.
    QHash<QString, CopyResult> copies() const { return copied; }
    // Why the last run's failed step failed, one English line naming the
    // step ("copy band.bin: No space left on device"); empty after a pass.
    QString failureReason() const { return failure; }

signals:
    // A step begins (idx as in processOk); step 6 begins with the pause
    // before its copy.
    void stepStarted(uint idx);
    void processOk(uint idx, bool rst);

protected:
    void run() override;

private:
    QString source = QStringLiteral("bin/");
    QString logTag; // "[1-1.3] " or empty
    QString diskRoot;
    QString cfgName;
    QString binName;
    QFile logFile;
    QTextStream logStream;
    std::atomic<int> pauseMs{3000};
    QMutex pauseMutex; // guards the wait on pauseWake against a lost stop
    QWaitCondition pauseWake;
    // The step in progress and the record it leaves when it is stopped.
    int runningStep = -1;
    QString runningFailure;
    QString runningWhat; // "copy band.cfg": names the step in its failure reason
    QString stopReason;    // guarded by pauseMutex
    QHash<QString, CopyResult> copied;
    QString failure;

    bool runSteps();
    bool begin(uint idx, const QString &what, const QString &failureRecord);
    bool check(uint idx, const QString &path, const QString &problem);
    QString sourceProblem(const QString &path, bool isImage) const;
    QString diskProblem() const;
    bool removeOldFiles();
    bool remove(uint idx, const QString &path);
    bool copy(uint idx, const QString &name);
    bool pause();
    bool report(uint idx, bool ok, const QString &record, const QString &reason = QString());
    void reportStoppedStep();
    void writeRunRecord(const char *word);
    void writeStepRecord(const QString &message);
};

// One burn on its own thread: checks the source files and the band's disk,
// removes old files, copies the new ones, reports each step and logs the run.
#pragma once

#include "burnfilenames.h"

#include <QFile>
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
    // Does nothing when diskRoot or either name is empty.
    void startBurn(const QString &diskRoot, const BurnFileNames &files);

    // Ends a running burn at its next step or pause, without further signals,
    // and waits for the thread; run.log is released.
    void stop();

    // The two pauses before the copies; 3000 ms unless a test shortens them.
    void setPauseMs(int ms);

signals:
    void processOk(uint idx, bool rst);

protected:
    void run() override;

private:
    QString diskRoot;
    QString cfgName;
    QString binName;
    QFile logFile;
    QTextStream logStream;
    std::atomic<int> pauseMs{3000};
    QMutex pauseMutex; // guards the wait on pauseWake against a lost stop
    QWaitCondition pauseWake;

    bool runSteps();
    bool check(uint idx, const QString &path);
    bool removeOldFiles();
    bool remove(uint idx, const QString &path);
    bool copy(uint idx, const QString &name);
    bool pause();
    bool report(uint idx, bool ok);
    void writeRunRecord(const char *word);
    void writeStepRecord(const QString &message);
};

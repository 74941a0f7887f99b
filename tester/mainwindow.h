// The tester's window: one button that runs the fixed test sequence against
// the band, and a twelve-row table with one result per step.
#pragma once

#include "comthread.h"
#include "defreader.h"
#include "recordstore.h"
#include "testsequence.h"

#include <bandlink.h>

#include <QMainWindow>
#include <QMessageBox>

namespace Ui { class MainWindow; }
class PortSource;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // ports: where the watcher looks for the band; null = the system's ports.
    explicit MainWindow(const PortSource *ports = nullptr, QWidget *parent = nullptr);
    // Stops a running sequence before its next step, waits for it and keeps
    // its record.
    ~MainWindow() override;

    // Starts the port watcher and reads def.xml; false when def.xml is unusable.
    bool init();
    // Why init() failed (English, from the def.xml reader).
    QString initFailure() const;

    // Says in the title and inside the window that the band is not real.
    void markSimulated();

public slots:
    // Starts the sequence on its own thread; the result shows when it ends.
    // Without a band it only says so: no run, no record.
    void slotOnpbTest();

private:
    void onBandConnected(bool present);
    void onRunFinished();
    void updateButton();
    void showResult(const TestResult &result);
    void showResultBox(QMessageBox::Icon icon, const QString &title, const QString &text,
                       QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton);

    // Keeps the run's record before the operator sees the result.
    void keepRecord(const TestResult &result);
    // The watcher's port number, or -1 after telling the operator there is none.
    int portOrWarn();
    int warnNoPort(); // says there is no band; returns -1
    void clearResult();

    Ui::MainWindow *ui;
    CDefReader defReader;
    CComThread comThread;
    TestSequence sequence;
    RecordStore store;

    QThread *worker = nullptr; // the running sequence; null between runs
    TestResult workerResult;   // written by the worker, read once it has finished
    bool bandPresent = false;  // as the watcher last reported
    // After a pass the band restarts: its port may still be listed, but it
    // is not ready until the watcher has seen it go and come back.
    bool bandRestarting = false;
    bool resultOpen = false;   // the result box is showing
    bool definitionUsable = false; // def.xml read and sound: no band is tested before

};

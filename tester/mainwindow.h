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
    ~MainWindow() override;

    // Starts the port watcher and reads def.xml; false when def.xml is unusable.
    bool init();

public slots:
    void slotOnpbTest();

private:
    void showPassed(const TestResult &result);
    void showFailed(int row);
    void showResultBox(QMessageBox::Icon icon, const QString &title, const QString &text,
                       QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton);

    // Keeps the run's record before the operator sees the result.
    void keepRecord(const TestResult &result);
    // The watcher's port number, or -1 after telling the operator there is none.
    int portOrWarn();
    void clearResult();

    Ui::MainWindow *ui;
    CDefReader defReader;
    CComThread comThread;
    TestSequence sequence;
    RecordStore store;
};

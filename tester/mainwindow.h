// The tester's window: one button that runs the fixed test sequence against
// the band, and a twelve-row table with one result per step.
#pragma once

#include "comthread.h"
#include "defreader.h"

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
    struct RunRecords {
        sb_version_t version{};
        sb_time_t sentTime{};
        sb_time_t readTime{};
        sb_conf_t sentConf{};
        sb_conf_t readConf{};
    };

    // Returns the row of the first step that failed, or -1 when all passed.
    int runSteps(RunRecords &records);
    void showPassed(const RunRecords &records);
    void showFailed(int row);
    void showResultBox(QMessageBox::Icon icon, const QString &title, const QString &text,
                       QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton);

    bool openPort();
    void closePort();
    void clearResult();
    bool setBandTime(sb_time_t *t);

    Ui::MainWindow *ui;
    CDefReader defReader;
    CComThread comThread;
};

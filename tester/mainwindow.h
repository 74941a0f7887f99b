// The tester's window: one button that runs the fixed test sequence against
// the band, and a twelve-row table with one result per step. A view of one
// slot: the station's controller runs the band.
#pragma once

#include "teststation.h"

#include <QMainWindow>
#include <QMessageBox>

namespace Ui { class MainWindow; }
class PortSource;
class QPushButton;
class QTableWidget;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // ports: where the window looks for the band; null = the system's ports.
    explicit MainWindow(const PortSource *ports = nullptr, QWidget *parent = nullptr);
    // A run under way is stopped before its next step, waited for and recorded.
    ~MainWindow() override;

    // Reads def.xml and starts looking for the band; false when def.xml is unusable.
    bool init();
    // Why init() failed (English, from the def.xml reader).
    QString initFailure() const { return station.definitionFailure(); }

    // Says in the title and inside the window that the band is not real.
    void markSimulated();

    // The one slot: whether a band is there, running, or back from its restart.
    SlotManager *slotManager() { return &station.slotManager(); }
    // What the operator sees and presses.
    QTableWidget *resultTable() const;
    QPushButton *testButton() const;

public slots:
    // Starts the run; the result shows when it ends. Without a band it only
    // says so: no run, no record.
    void slotOnpbTest();

private:
    void showResult(const TestResult &result);
    void showResultBox(QMessageBox::Icon icon, const QString &title, const QString &text,
                       QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton);
    void showStationProblem();
    void updateButton();

    Ui::MainWindow *ui;
    TestStation station;
    bool resultOpen = false; // the result box is showing
};

// The tester for several bands at once: one panel per hub port, each band's
// sequence on its own worker thread and its own link, so that one band that
// fails, hangs, is pulled out or whose worker fails never holds up another
// panel or the window's painting.
#pragma once

#include "defreader.h"
#include "panelgrid.h"
#include "recordstore.h"
#include "testsequence.h"

#include <QElapsedTimer>
#include <QMainWindow>

#include <functional>
#include <memory>
#include <vector>

class PortSource;
class QThread;

class MultiTestWindow : public QMainWindow {
    Q_OBJECT
public:
    // autostart: test each band as soon as it is plugged in.
    MultiTestWindow(int slotCount, bool autostart, const PortSource *ports = nullptr, QWidget *parent = nullptr);
    // Asks every running sequence to stop, waits for each and keeps its record.
    ~MultiTestWindow() override;

    // Reads def.xml and starts watching the ports; false when def.xml is unusable.
    bool init(int pollMs = 500);
    QString initFailure() const;
    void markSimulated();

    PanelGrid *grid() const { return panels; }
    // How long a band that passed (and so restarts) may take to come back
    // before its panel is freed; 15 s unless a test shortens it.
    void setReturnTimeoutMs(int ms) { returnTimeoutMs = ms; }
    // Runs in place of a slot's sequence on its worker, so that tests can
    // make a worker fail; empty = the real sequence.
    using Runner = std::function<TestResult(TestSequence &, const QString &devicePath, const TestDefinition *)>;
    void setRunner(Runner runner) { runnerOverride = std::move(runner); }

public slots:
    void startSlot(int slot);
    void startAllReady();

private:
    enum class State { Empty, Ready, Running, Done };
    struct Slot {
        State state = State::Empty;
        QString devicePath;
        bool present = false;      // as the last look at the ports found it
        TestSequence sequence;
        QThread *worker = nullptr;
        TestResult result;         // written by the worker, read once it has finished
        bool passRestartDue = false; // passed with the band present: its port goes and comes back
        bool awaitingReturn = false; // that restart is under way
        QElapsedTimer goneFor;
    };

    void rescan();
    void bandArrived(int slot, const QString &devicePath);
    void bandLeft(int slot);
    void runFinished(int slot);
    void freeSlot(int slot);
    void showStep(int slot, int row);
    void showResult(int slot);
    void keepRecord(int slot);
    void updateButtons();
    void showNote(int unplaced);

    PanelGrid *panels;
    CDefReader defReader;
    RecordStore store;
    std::vector<std::unique_ptr<Slot>> bands;
    bool autostart;
    bool definitionUsable = false; // no band starts until def.xml has been read and found sound
    QString definitionNote;        // why def.xml is unusable, made once it has been read
    int returnTimeoutMs = 15000;
    Runner runnerOverride;
};

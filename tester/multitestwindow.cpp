#include "multitestwindow.h"

#include "resultpainter.h"
#include "recordstatus.h"
#include "simulatedband.h"
#include "testertext.h"

#include <QLabel>
#include <QPushButton>
#include <QStatusBar>

MultiTestWindow::MultiTestWindow(int slotCount, bool autostart, const PortSource *ports, QWidget *parent)
    : QMainWindow(parent), station(slotCount, ports),
      panels(new PanelGrid(slotCount, TesterText::stepLabels(), TesterText::start(), tr("全部开始"), this)), autostart(autostart)
{
    setWindowTitle(TesterText::title());
    setCentralWidget(panels);
    SlotManager &manager = station.slotManager();
    manager.setAutostart(autostart);
    for (int slot = 0; slot < slotCount; ++slot)
        connect(panels->panel(slot), &BandPanel::startRequested, this, [this, slot] { startSlot(slot); });
    connect(panels, &PanelGrid::startAllRequested, this, &MultiTestWindow::startAllReady);
    connect(&manager, &SlotManager::bandArrived, this, &MultiTestWindow::showBand);
    connect(&manager, &SlotManager::slotFreed, this, &MultiTestWindow::showBand);
    connect(&manager, &SlotManager::changed, this, &MultiTestWindow::refresh);
    connect(&station, &TestStation::started, this, [this](int slot) {
        panels->panel(slot)->clearSteps();
        panels->panel(slot)->setVerdict(BandPanel::Verdict::Running);
    });
    connect(&station, &TestStation::stepStarted, this, [this](int slot, int row) {
        paintStepStarted(panels->panel(slot), row);
    });
    connect(&station, &TestStation::finished, this, [this](int slot, const TestResult &result) {
        // Pulled out: nothing to show for a band that is gone.
        if (result.outcome != TestResult::Outcome::Interrupted)
            paintResult(panels->panel(slot), result, station.devicePath(slot));
        refresh();
    });
    refresh();
    showRecordProblems(station.records(), this);
}

bool MultiTestWindow::init(int pollMs)
{
    const bool usable = station.init(pollMs);
    refresh();
    return usable;
}

void MultiTestWindow::markSimulated()
{
    setWindowTitle(SimulatedBand::windowTitleFor(windowTitle()));
    auto *marker = new QLabel(TesterText::simulated());
    marker->setStyleSheet(QStringLiteral("color: white; background: rgb(200, 0, 0); font-weight: bold; padding: 2px;"));
    statusBar()->addPermanentWidget(marker);
}

// A band new in its slot, or gone from it: the panel shows it cleared.
void MultiTestWindow::showBand(int slot)
{
    BandPanel *panel = panels->panel(slot);
    panel->clearSteps();
    panel->setLocation(station.slotManager().location(slot));
}

void MultiTestWindow::refresh()
{
    const SlotManager &manager = station.slotManager();
    for (int slot = 0; slot < manager.size(); ++slot)
        panels->panel(slot)->setStartEnabled(manager.mayStart(slot));
    panels->startAllButton()->setEnabled(manager.anyReady());
    if (!manager.stationProblem().isEmpty())
        panels->setNote(manager.stationProblem());
    else if (manager.unplaced() > 0)
        panels->setNote(tr("手环多于面板: %1 个手环未显示").arg(manager.unplaced()));
    else if (manager.everyBandHasItsResult())
        panels->setNote(tr("全部手环已有结果，请拔下手环，再插入新手环"));
    else
        panels->setNote(autostart ? tr("插入手环即开始测试") : tr("插入手环后按开始测试"));
}

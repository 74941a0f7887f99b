#include "multiburnwindow.h"

#include "banddiskwatch.h"
#include "burnlooks.h"
#include "burnrecord.h"
#include "recordstatus.h"

#include <QCloseEvent>
#include <QPushButton>
#include <QStatusBar>

namespace {

// How long a close waits for each running burn to report its end.
constexpr int kStopBudgetMs = 5000;
const QString kWindowClosed = QStringLiteral("window closed");

} // namespace

MultiBurnWindow::MultiBurnWindow(int slotCount, bool autostart, const PortSource *ports, HotplugSource *hotplug,
                                 QWidget *parent)
    : QMainWindow(parent),
      panels(new PanelGrid(slotCount, BurnLooks::stepNames(), tr("烧录"), tr("全部开始"), this)),
      slotManager(slotCount),
      ports(ports),
      hotplug(hotplug),
      autostart(autostart)
{
    setWindowTitle(tr("烧录工具"));
    setCentralWidget(panels);
    slotManager.setAutostart(autostart);
    slotManager.setPassedMayStart(false); // a band that passed is not burned again by accident
    slotManager.setFailureStaysWhenGone(true); // a band restarting into upgrade mode is still there
    for (int slot = 0; slot < slotCount; ++slot) {
        auto band = std::make_unique<BurnController>(hotplug, ports);
        band->setRecordStore(&store);
        BandPanel *panel = panels->panel(slot);
        connect(band.get(), &BurnController::stageChanged, panel, [panel](BurnReport::Stage stage) {
            panel->setDetail(BurnLooks::stageDetail(stage));
            if (stage == BurnReport::Stage::PortWait)
                panel->setStepLook(BurnReport::kResultStep, BandPanel::StepLook::Running);
        });
        connect(band.get(), &BurnController::stepStarted, panel,
                [panel](uint step) { panel->setStepLook(int(step), BandPanel::StepLook::Running); });
        connect(band.get(), &BurnController::stepReported, panel, [panel](uint step, bool passed) {
            panel->setStepLook(int(step), passed ? BandPanel::StepLook::Passed : BandPanel::StepLook::Failed);
        });
        connect(band.get(), &BurnController::finished, this, [this, slot](const BurnReport &report) { showEnd(slot, report); });
        connect(panel, &BandPanel::startRequested, this, [this, slot] { startSlot(slot); });
        bands.push_back(std::move(band));
    }
    connect(panels, &PanelGrid::startAllRequested, this, &MultiBurnWindow::startAllReady);
    connect(&slotManager, &SlotManager::bandArrived, this, [this](int slot) {
        panels->panel(slot)->clearSteps();
        panels->panel(slot)->setLocation(slotManager.location(slot));
    });
    connect(&slotManager, &SlotManager::slotFreed, this, &MultiBurnWindow::showEmpty);
    connect(&slotManager, &SlotManager::startDue, this, &MultiBurnWindow::startSlot);
    connect(&slotManager, &SlotManager::changed, this, &MultiBurnWindow::refresh);
    if (hotplug) {
        // A band in upgrade mode is there by its disk.
        connect(hotplug, &HotplugSource::volumeMounted, this, &MultiBurnWindow::onVolumeMounted);
        connect(hotplug, &HotplugSource::usbDeviceLeft, this, [this](quint16, quint16, const QString &location) {
            slotManager.setDiskPresent(location, false);
        });
    }
    showRecordProblems(store, this);
}

MultiBurnWindow::~MultiBurnWindow()
{
    // Every band is asked to stop, then waited for; its report still becomes its record.
    for (const auto &band : bands)
        band->stop(kWindowClosed);
    for (const auto &band : bands)
        band->stopAndWait(kWindowClosed, kStopBudgetMs);
}

bool MultiBurnWindow::init(int pollMs)
{
    if (!hotplug || !hotplug->start())
        return false;
    slotManager.setStationCheck([this] { return BurnLooks::stationProblem(&burnFiles); });
    slotManager.startWatching(ports, pollMs);
    refresh();
    return true;
}

void MultiBurnWindow::markSimulated()
{
    statusBar()->addPermanentWidget(BurnLooks::simulatedMarker());
}

void MultiBurnWindow::closeEvent(QCloseEvent *event)
{
    const auto burning = [this] {
        return std::any_of(bands.begin(), bands.end(), [](const std::unique_ptr<BurnController> &band) {
            return band->isRunning() && band->stage() == BurnReport::Stage::Burn;
        });
    };
    if (!BurnLooks::mayClose(this, burning)) {
        event->ignore();
        return;
    }
    event->accept();
}

void MultiBurnWindow::startSlot(int slot)
{
    // A station problem is found before the band is touched.
    if (!checkStation() || !slotManager.mayStart(slot))
        return;
    BurnController &band = *bands[size_t(slot)];
    band.setLocation(slotManager.location(slot));
    BurnCycleOptions options;
    options.files = burnFiles;
    options.upgradeDevice = slotManager.devicePath(slot);
    options.diskTimeoutMs = upgradeTimeoutMs;
    options.portTimeoutMs = returnTimeoutMs;
    options.pauseMs = pauseMs;
    options.logLocation = slotManager.location(slot); // run.log names the band's place
    if (!band.start(options))
        return;
    slotManager.start(slot);
    BandPanel *panel = panels->panel(slot);
    panel->clearSteps();
    panel->setVerdict(BandPanel::Verdict::Running);
    panel->setDetail(BurnLooks::stageDetail(BurnReport::Stage::Upgrade));
    panel->setToolTip(QString());
}

void MultiBurnWindow::startAllReady()
{
    for (int slot = 0; slot < slotManager.size(); ++slot)
        if (slotManager.state(slot) == SlotManager::State::Ready)
            startSlot(slot);
}

void MultiBurnWindow::onVolumeMounted(const VolumeInfo &volume)
{
    // Only a band's disk in the hub port of a band; a disk whose port is
    // unknown could be any band's.
    if (isBandVolume(volume))
        slotManager.setDiskPresent(volume.ownerLocation, true);
}

void MultiBurnWindow::showEnd(int slot, const BurnReport &report)
{
    BandPanel *panel = panels->panel(slot);
    BurnLooks::paintReport(panel, report);
    const bool passed = report.outcome == BurnReport::Outcome::Pass;
    panel->setVerdict(passed ? BandPanel::Verdict::Pass : BandPanel::Verdict::Fail);
    panel->setDetail(BurnLooks::endDetail(report));
    panel->setToolTip(report.error);
    slotManager.finish(slot, passed ? SlotManager::Outcome::Pass
                             : report.outcome == BurnReport::Outcome::Interrupted ? SlotManager::Outcome::Interrupted
                                                                                  : SlotManager::Outcome::Fail);
    // A station file missing shows as the station's problem, not the band's.
    if (report.failedStep >= 0 && report.failedStep <= 2)
        checkStation();
}

void MultiBurnWindow::showEmpty(int slot)
{
    BandPanel *panel = panels->panel(slot);
    panel->clearSteps();
    panel->setLocation(QString());
    panel->setToolTip(QString());
}

bool MultiBurnWindow::checkStation()
{
    slotManager.setStationProblem(BurnLooks::stationProblem(&burnFiles));
    store.setIdentity(burnerIdentity(burnFiles, QStringLiteral("bin/")));
    return slotManager.stationProblem().isEmpty();
}

void MultiBurnWindow::refresh()
{
    int running = 0;
    for (int slot = 0; slot < slotManager.size(); ++slot) {
        panels->panel(slot)->setStartEnabled(slotManager.mayStart(slot));
        running += slotManager.state(slot) == SlotManager::State::Running ? 1 : 0;
    }
    panels->startAllButton()->setEnabled(slotManager.anyReady());
    bool allPassed = false;
    if (!slotManager.stationProblem().isEmpty())
        panels->setNote(tr("工位问题，修复后重试: %1").arg(slotManager.stationProblem()));
    else if (slotManager.unplaced() > 0)
        panels->setNote(tr("手环多于面板: %1 个手环未显示").arg(slotManager.unplaced()));
    else if (running > 0)
        panels->setNote(tr("%1 个手环正在烧录，请勿拔出").arg(running));
    else if (slotManager.everyBandHasItsResult(&allPassed))
        panels->setNote(allPassed ? tr("全部手环烧录成功，请拔下手环，再插入新手环")
                                  : tr("全部手环已有结果: 请拔下手环，失败的手环可按烧录重试"));
    else
        panels->setNote(autostart ? tr("插入手环即开始烧录") : tr("插入手环后按烧录"));
}

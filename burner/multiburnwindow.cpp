#include "multiburnwindow.h"

#include "bandchannel.h"
#include "banddiskwatch.h"
#include "burnrecord.h"
#include "closequestion.h"
#include "recordstatus.h"
#include "stationcheck.h"

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QThread>

#include <exception>

namespace {

const QString kDefinitionFile = QStringLiteral("def.xml");
const QString kSourceFolder = QStringLiteral("bin/");
// A band that has just come back may need a moment before it answers.
constexpr int kIdentityRetryMs = 300;
// How long a close waits for the running burns to report their end.
constexpr int kStopBudgetMs = 5000;
const QString kWindowClosed = QStringLiteral("window closed");

QStringList stepNames()
{
    QStringList names;
    for (int step = 0; step < BurnReport::kStepCount; ++step)
        names << BurnReport::stepLabel(step);
    return names;
}

// Runs work on a thread of its own; a worker that fails in itself is caught.
QThread *startWorker(QObject *context, std::function<void()> work, std::function<void()> done)
{
    QThread *worker = QThread::create([work] {
        try {
            work();
        } catch (...) {
        }
    });
    QObject::connect(worker, &QThread::finished, context, std::move(done));
    worker->start();
    return worker;
}

} // namespace

MultiBurnWindow::MultiBurnWindow(int slotCount, bool autostart, const PortSource *ports, HotplugSource *hotplug,
                                 QWidget *parent)
    : QMainWindow(parent),
      panels(new PanelGrid(slotCount, stepNames(), tr("烧录"), tr("全部开始"), ports, this)),
      hotplug(hotplug),
      autostart(autostart)
{
    setWindowTitle(tr("烧录工具"));
    setCentralWidget(panels);
    for (int slot = 0; slot < slotCount; ++slot) {
        auto s = std::make_unique<Slot>();
        s->cycle = std::make_unique<BurnCycle>(nullptr, ports);
        connect(s->cycle.get(), &BurnCycle::stepStarted, this, [this, slot](uint step) {
            panels->panel(slot)->setStepLook(int(step), BandPanel::StepLook::Running);
        });
        connect(s->cycle.get(), &BurnCycle::stepReported, this, [this, slot](uint step, bool passed) {
            panels->panel(slot)->setStepLook(int(step), passed ? BandPanel::StepLook::Passed : BandPanel::StepLook::Failed);
        });
        connect(s->cycle.get(), &BurnCycle::finished, this, [this, slot](const BurnReport &report) { burnEnded(slot, report); });
        s->stageTimer.setSingleShot(true);
        connect(&s->stageTimer, &QTimer::timeout, this, [this, slot] { stageTimedOut(slot); });
        connect(panels->panel(slot), &BandPanel::startRequested, this, [this, slot] { startSlot(slot); });
        bands.push_back(std::move(s));
    }
    connect(panels, &PanelGrid::startAllRequested, this, &MultiBurnWindow::startAllReady);
    connect(panels, &PanelGrid::portsMayHaveChanged, this, &MultiBurnWindow::rescan);
    if (hotplug) {
        connect(hotplug, &HotplugSource::volumeMounted, this, &MultiBurnWindow::onVolumeMounted);
        connect(hotplug, &HotplugSource::usbDeviceLeft, this, &MultiBurnWindow::onUsbDeviceLeft);
    }
    showRecordProblems(store, this);
}

MultiBurnWindow::~MultiBurnWindow()
{
    // Every band's work is asked to stop, then waited for; never killed.
    for (auto &s : bands)
        s->stopWorker = true;
    for (int slot = 0; slot < int(bands.size()); ++slot) {
        Slot &s = *bands[size_t(slot)];
        if (s.worker) {
            s.worker->wait();
            delete s.worker;
            s.worker = nullptr;
        }
        if (s.cycle->isRunning()) {
            s.cycle->stop(kWindowClosed); // its report comes through burnEnded
        } else if (s.state != State::Empty && s.state != State::Ready && s.state != State::Done) {
            finish(slot, BurnReport::Outcome::Interrupted, kWindowClosed, QString());
        }
    }
    // A stopped burn ends within milliseconds; its report still becomes the band's record.
    QEventLoop loop;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [this, &loop] {
        if (std::none_of(bands.begin(), bands.end(), [](const std::unique_ptr<Slot> &s) { return s->cycle->isRunning(); }))
            loop.quit();
    });
    poll.start(10);
    QTimer::singleShot(kStopBudgetMs, &loop, &QEventLoop::quit);
    if (std::any_of(bands.begin(), bands.end(), [](const std::unique_ptr<Slot> &s) { return s->cycle->isRunning(); }))
        loop.exec();
}

bool MultiBurnWindow::init(int pollMs)
{
    if (!hotplug || !hotplug->start())
        return false;
    checkStationFiles();
    updateButtons();
    panels->startWatching(pollMs);
    return true;
}

void MultiBurnWindow::markSimulated()
{
    auto *marker = new QLabel(tr("[模拟手环]"));
    marker->setObjectName(QStringLiteral("simulatedMarker"));
    marker->setStyleSheet(QStringLiteral("color: white; background: rgb(200, 0, 0); font-weight: bold; padding: 2px;"));
    statusBar()->addPermanentWidget(marker);
}

void MultiBurnWindow::closeEvent(QCloseEvent *event)
{
    const auto burning = [this] {
        return std::any_of(bands.begin(), bands.end(), [](const std::unique_ptr<Slot> &s) { return s->state == State::Burning; });
    };
    if (!closeDuringBurn(this, tr("正在烧录"), tr("正在烧录。现在关闭窗口，手环将没有固件。\n仍然关闭吗?"), burning)) {
        event->ignore();
        return;
    }
    event->accept();
}

void MultiBurnWindow::rescan()
{
    const QList<PanelGrid::BandPlace> places = panels->bandPlaces();
    SlotMap &map = panels->slotMap();
    unplaced = 0;
    for (const PanelGrid::BandPlace &place : places) {
        const int held = map.find(place.location);
        const int slot = held >= 0 ? held : map.take(place.location);
        if (slot < 0)
            ++unplaced;
        else if (held < 0 || !bands[size_t(slot)]->portPresent)
            portArrived(slot, place.devicePath);
    }
    for (int slot = 0; slot < int(bands.size()); ++slot) {
        const QString location = map.locationOf(slot);
        const bool listed = std::any_of(places.begin(), places.end(),
                                        [&](const PanelGrid::BandPlace &p) { return p.location == location; });
        if (!location.isEmpty() && bands[size_t(slot)]->portPresent && !listed)
            portLeft(slot);
    }
    updateButtons();
}

void MultiBurnWindow::portArrived(int slot, const QString &devicePath)
{
    Slot &s = *bands[size_t(slot)];
    s.portPresent = true;
    s.devicePath = devicePath;
    BandPanel *panel = panels->panel(slot);
    panel->setLocation(panels->slotMap().locationOf(slot));
    switch (s.state) {
    case State::Empty:
        panel->clearSteps();
        s.state = State::Ready;
        if (autostart)
            startSlot(slot);
        break;
    case State::PortWait:
        readReturnedBand(slot); // back from its restart
        break;
    default:
        break; // its result, or its cycle, goes on
    }
}

void MultiBurnWindow::portLeft(int slot)
{
    Slot &s = *bands[size_t(slot)];
    s.portPresent = false;
    // Its port goes as it restarts into upgrade mode; only a band that is
    // waiting or showing its result has been taken away.
    if ((s.state == State::Ready || s.state == State::Done) && !s.diskPresent)
        freeSlot(slot);
}

void MultiBurnWindow::startSlot(int slot)
{
    Slot &s = *bands[size_t(slot)];
    if (!s.portPresent || s.worker || (s.state != State::Ready && s.state != State::Done))
        return;
    // A station problem is found before the band is touched.
    if (!checkStationFiles()) {
        updateButtons();
        return;
    }
    BandPanel *panel = panels->panel(slot);
    panel->clearSteps();
    panel->setVerdict(BandPanel::Verdict::Running);
    panel->setDetail(tr("复位中"));
    s.report = BurnReport();
    s.report.files = burnFiles;
    s.report.startedAt = QDateTime::currentDateTimeUtc(); // the upgrade is the cycle's start, not the burn
    s.bluetooth.clear();
    s.state = State::Upgrading;
    s.stopWorker = false;
    Slot *raw = &s;
    const QString path = s.devicePath;
    s.upgrade = UpgradeResult::NotAnswered;
    s.worker = startWorker(this, [raw, path] {
        LinkChannel link(QFile::encodeName(path).toStdString());
        raw->upgrade = upgradeBand(link, &raw->identity);
    },
                           [this, slot] { upgradeDone(slot); });
    updateButtons();
}

void MultiBurnWindow::startAllReady()
{
    for (int slot = 0; slot < int(bands.size()); ++slot)
        if (bands[size_t(slot)]->state == State::Ready)
            startSlot(slot);
}

void MultiBurnWindow::upgradeDone(int slot)
{
    Slot &s = *bands[size_t(slot)];
    s.worker->wait();
    delete s.worker;
    s.worker = nullptr;
    s.bluetooth = s.identity.bluetooth;
    switch (s.upgrade) {
    case UpgradeResult::OpenFailed:
        finish(slot, BurnReport::Outcome::Fail, QStringLiteral("cannot open %1").arg(s.devicePath), tr("端口打开失败"));
        return;
    case UpgradeResult::NotAnswered:
        finish(slot, BurnReport::Outcome::Fail, QStringLiteral("the band did not take the upgrade command"),
               tr("端口通信失败"));
        return;
    case UpgradeResult::Sent:
        break;
    }
    s.report.stage = BurnReport::Stage::DiskWait;
    panels->panel(slot)->setDetail(tr("等待升级模式"));
    enterStage(slot, State::DiskWait, upgradeTimeoutMs);
}

void MultiBurnWindow::onVolumeMounted(const VolumeInfo &volume)
{
    // Only a disk in the hub port of a band waiting for it; a disk whose
    // port is unknown could be any band's.
    const int slot = panels->slotMap().find(volume.ownerLocation);
    if (slot < 0 || !isBandVolume(volume))
        return;
    Slot &s = *bands[size_t(slot)];
    s.diskPresent = true;
    if (s.state != State::DiskWait)
        return;
    BurnCycleOptions options;
    options.files = burnFiles;
    options.sourceFolder = kSourceFolder;
    options.diskRoot = volume.rootPath;
    options.waitForPort = false; // the window waits for its own band's port
    options.pauseMs = pauseMs;
    options.expectedBluetooth = s.bluetooth;
    options.logLocation = panels->slotMap().locationOf(slot); // run.log names the band's place
    enterStage(slot, State::Burning, 0);
    panels->panel(slot)->setDetail(tr("正在烧录，请勿拔出手环"));
    if (!s.cycle->start(options))
        finish(slot, BurnReport::Outcome::Fail, QStringLiteral("the burn could not start"), tr("烧录失败"));
}

void MultiBurnWindow::onUsbDeviceLeft(quint16, quint16, const QString &location)
{
    const int slot = panels->slotMap().find(location);
    if (slot < 0)
        return;
    Slot &s = *bands[size_t(slot)];
    s.diskPresent = false;
    if (s.state == State::Burning)
        s.cycle->stop(QStringLiteral("the band's disk was removed")); // its report follows
    else if (s.state == State::Done && !s.portPresent)
        freeSlot(slot);
}

void MultiBurnWindow::burnEnded(int slot, const BurnReport &report)
{
    Slot &s = *bands[size_t(slot)];
    const QDateTime cycleStarted = s.report.startedAt;
    s.report = report;
    s.report.startedAt = cycleStarted;
    if (report.outcome != BurnReport::Outcome::Pass) {
        finish(slot, report.outcome, report.error, tr("烧录失败"));
        return;
    }
    // Burned: the band restarts and must come back on its own port.
    s.report.stage = BurnReport::Stage::PortWait;
    s.report.outcome = BurnReport::Outcome::Fail;
    s.report.steps[BurnReport::kResultStep] = BurnReport::StepResult::NotRun;
    panels->panel(slot)->setStepLook(BurnReport::kResultStep, BandPanel::StepLook::Running);
    panels->panel(slot)->setDetail(tr("等待手环重启"));
    enterStage(slot, State::PortWait, returnTimeoutMs);
    if (s.portPresent)
        readReturnedBand(slot);
}

void MultiBurnWindow::readReturnedBand(int slot)
{
    Slot &s = *bands[size_t(slot)];
    if (s.worker || s.state != State::PortWait)
        return;
    s.stopWorker = false;
    s.identityRead = false;
    Slot *raw = &s;
    const QString path = s.devicePath;
    const int budgetMs = returnTimeoutMs;
    // Asked again until it answers; the stage's time-out bounds it as well.
    s.worker = startWorker(this, [raw, path, budgetMs] {
        QElapsedTimer clock;
        clock.start();
        while (!raw->stopWorker && !clock.hasExpired(budgetMs)) {
            LinkChannel link(QFile::encodeName(path).toStdString());
            if (readBandIdentity(link, &raw->identity)) {
                raw->identityRead = true;
                return;
            }
            QThread::msleep(kIdentityRetryMs);
        }
    }, [this, slot] { returnedBandRead(slot); });
}

void MultiBurnWindow::returnedBandRead(int slot)
{
    Slot &s = *bands[size_t(slot)];
    s.worker->wait();
    delete s.worker;
    s.worker = nullptr;
    if (s.state != State::PortWait)
        return; // timed out meanwhile
    if (!s.identityRead) {
        if (s.portPresent)
            finish(slot, BurnReport::Outcome::Fail, QStringLiteral("the band came back but did not tell its version"),
                   tr("烧录后手环没有正常重启"));
        return; // gone again: the stage's time-out decides
    }
    s.report.version = s.identity.version;
    s.report.bluetooth = s.identity.bluetooth;
    if (!s.bluetooth.isEmpty() && s.identity.bluetooth != s.bluetooth) {
        finish(slot, BurnReport::Outcome::Fail,
               QStringLiteral("another band (%1) came back instead of the one burned (%2)").arg(s.identity.bluetooth, s.bluetooth),
               tr("回来的不是烧录的手环"));
        return;
    }
    finish(slot, BurnReport::Outcome::Pass, QString(), tr("版本 %1，请拔下手环").arg(s.identity.version));
}

void MultiBurnWindow::stageTimedOut(int slot)
{
    Slot &s = *bands[size_t(slot)];
    if (s.state == State::DiskWait) {
        finish(slot, BurnReport::Outcome::Fail,
               QStringLiteral("the band's disk did not appear within %1 s").arg(upgradeTimeoutMs / 1000.0),
               tr("手环没有进入升级模式"));
    } else if (s.state == State::PortWait) {
        s.stopWorker = true; // its end is not waited for here; it finds the state moved on
        finish(slot, BurnReport::Outcome::Fail,
               QStringLiteral("the band's serial port did not return within %1 s").arg(returnTimeoutMs / 1000.0),
               tr("烧录后手环没有正常重启"));
    }
}

void MultiBurnWindow::finish(int slot, BurnReport::Outcome outcome, const QString &error, const QString &detail)
{
    Slot &s = *bands[size_t(slot)];
    s.stageTimer.stop();
    if (s.state == State::PortWait) {
        const bool back = outcome == BurnReport::Outcome::Pass;
        s.report.steps[BurnReport::kResultStep] = back ? BurnReport::StepResult::Passed : BurnReport::StepResult::Failed;
        if (!back)
            s.report.failedStep = BurnReport::kResultStep;
        panels->panel(slot)->setStepLook(BurnReport::kResultStep,
                                         back ? BandPanel::StepLook::Passed : BandPanel::StepLook::Failed);
    }
    if (outcome == BurnReport::Outcome::Pass)
        s.report.stage = BurnReport::Stage::Done;
    s.report.outcome = outcome;
    s.report.error = error;
    s.report.elapsedMs = s.report.startedAt.msecsTo(QDateTime::currentDateTimeUtc());
    RunRecord record = store.begin(QStringLiteral("burner"));
    fillBurnRecord(record, s.report);
    record.usbPath = panels->slotMap().locationOf(slot);
    store.write(record); // a problem shows in the status bar; the panel stands as it is
    s.state = State::Done;
    BandPanel *panel = panels->panel(slot);
    panel->setVerdict(outcome == BurnReport::Outcome::Pass ? BandPanel::Verdict::Pass : BandPanel::Verdict::Fail);
    panel->setDetail(detail);
    panel->setToolTip(error);
    // Nothing of it left to show: a band pulled out mid-run, its port and disk gone.
    if (outcome == BurnReport::Outcome::Interrupted && !s.portPresent && !s.diskPresent)
        freeSlot(slot);
    updateButtons();
}

void MultiBurnWindow::freeSlot(int slot)
{
    Slot &s = *bands[size_t(slot)];
    s.stageTimer.stop();
    s.state = State::Empty;
    s.portPresent = false;
    s.diskPresent = false;
    panels->slotMap().release(slot);
    BandPanel *panel = panels->panel(slot);
    panel->clearSteps();
    panel->setLocation(QString());
    panel->setToolTip(QString());
}

void MultiBurnWindow::enterStage(int slot, State state, int timeoutMs)
{
    Slot &s = *bands[size_t(slot)];
    s.state = state;
    s.stageTimer.stop();
    if (timeoutMs > 0)
        s.stageTimer.start(timeoutMs);
    updateButtons();
}

bool MultiBurnWindow::checkStationFiles()
{
    BurnFileNames files;
    const StationProblem problem = checkStation(kDefinitionFile, kSourceFolder, &files);
    if (!files.cfgName.isEmpty() && !files.binName.isEmpty())
        burnFiles = files;
    stationProblem = problem.operatorText();
    return problem.ok();
}

void MultiBurnWindow::showNote()
{
    if (!stationProblem.isEmpty())
        panels->setNote(tr("工位问题，修复后重试: %1").arg(stationProblem));
    else if (unplaced > 0)
        panels->setNote(tr("手环多于面板: %1 个手环未显示").arg(unplaced));
    else if (bool allPassed = false; panels->everyBandHasItsResult(&allPassed))
        panels->setNote(allPassed ? tr("全部手环烧录成功，请拔下手环，再插入新手环")
                                  : tr("全部手环已有结果: 请拔下手环，失败的手环可按烧录重试"));
    else
        panels->setNote(autostart ? tr("插入手环即开始烧录") : tr("插入手环后按烧录"));
}

void MultiBurnWindow::updateButtons()
{
    bool anyReady = false;
    for (int slot = 0; slot < int(bands.size()); ++slot) {
        const Slot &s = *bands[size_t(slot)];
        // A band that passed is back on its port with its new firmware: not burned again by accident.
        const bool startable = s.portPresent && !s.worker && (s.state == State::Ready
                               || (s.state == State::Done && s.report.outcome != BurnReport::Outcome::Pass));
        panels->panel(slot)->setStartEnabled(startable);
        anyReady = anyReady || (startable && s.state == State::Ready);
    }
    panels->startAllButton()->setEnabled(anyReady);
    showNote();
}

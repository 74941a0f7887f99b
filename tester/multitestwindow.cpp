#include "multitestwindow.h"

#include "bandchannel.h"
#include "defreasontext.h"
#include "heldport.h"
#include "recordstatus.h"
#include "simulatedband.h"
#include "steptext.h"
#include "testrecord.h"

#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QThread>

#include <exception>

namespace {

QStringList stepNames()
{
    return {
        QCoreApplication::translate("MultiTestWindow", "[打开串口]"),
        QCoreApplication::translate("MultiTestWindow", "1.读取版本"),
        QCoreApplication::translate("MultiTestWindow", "2.设置时间"),
        QCoreApplication::translate("MultiTestWindow", "3.读取时间"),
        QCoreApplication::translate("MultiTestWindow", "4.设置LED"),
        QCoreApplication::translate("MultiTestWindow", "5.读取LED"),
        QCoreApplication::translate("MultiTestWindow", "6.设置参数"),
        QCoreApplication::translate("MultiTestWindow", "7.读取参数"),
        QCoreApplication::translate("MultiTestWindow", "8.设置闹钟"),
        QCoreApplication::translate("MultiTestWindow", "9.读取闹钟"),
        QCoreApplication::translate("MultiTestWindow", "0.重新启动"),
        QCoreApplication::translate("MultiTestWindow", "[关闭串口]"),
    };
}

} // namespace

MultiTestWindow::MultiTestWindow(int slotCount, bool autostart, const PortSource *ports, QWidget *parent)
    : QMainWindow(parent),
      panels(new PanelGrid(slotCount, stepNames(), tr("开始测试"), tr("全部开始"), ports, this)),
      autostart(autostart)
{
    setWindowTitle(tr("测试工具"));
    setCentralWidget(panels);
    for (int slot = 0; slot < slotCount; ++slot) {
        auto s = std::make_unique<Slot>();
        s->sequence.setStepStarted([this, slot](int row) {
            QMetaObject::invokeMethod(this, [this, slot, row] { showStep(slot, row); }, Qt::QueuedConnection);
        });
        bands.push_back(std::move(s));
        connect(panels->panel(slot), &BandPanel::startRequested, this, [this, slot] { startSlot(slot); });
    }
    connect(panels, &PanelGrid::startAllRequested, this, &MultiTestWindow::startAllReady);
    connect(panels, &PanelGrid::portsMayHaveChanged, this, &MultiTestWindow::rescan);
    showNote(0);
    showRecordProblems(store, this);
}

MultiTestWindow::~MultiTestWindow()
{
    // Asked to stop, each before its next step, then waited for; never killed.
    for (auto &s : bands)
        if (s->worker)
            s->sequence.requestStop();
    for (int slot = 0; slot < int(bands.size()); ++slot) {
        Slot &s = *bands[size_t(slot)];
        if (!s.worker)
            continue;
        s.worker->wait();
        delete s.worker;
        s.worker = nullptr;
        keepRecord(slot);
    }
}

bool MultiTestWindow::init(int pollMs)
{
    // Read before any band is seen: no band starts against an unusable def.xml.
    definitionUsable = defReader.read();
    definitionNote = definitionUsable ? QString()
                                      : tr("无法打开或处理def.xml: %1").arg(operatorDefReason(initFailure()));
    showNote(0);
    panels->startWatching(pollMs);
    return definitionUsable;
}

QString MultiTestWindow::initFailure() const
{
    return defReader.failureReason();
}

void MultiTestWindow::markSimulated()
{
    setWindowTitle(SimulatedBand::windowTitleFor(windowTitle()));
    auto *marker = new QLabel(tr("模拟手环，非真实测试"));
    marker->setStyleSheet(QStringLiteral("color: white; background: rgb(200, 0, 0); font-weight: bold; padding: 2px;"));
    statusBar()->addPermanentWidget(marker);
}

void MultiTestWindow::rescan()
{
    const QList<PanelGrid::BandPlace> places = panels->bandPlaces();
    SlotMap &map = panels->slotMap();
    int unplaced = 0;
    for (const PanelGrid::BandPlace &place : places) {
        const int held = map.find(place.location);
        const int slot = held >= 0 ? held : map.take(place.location);
        if (slot < 0)
            ++unplaced;
        else if (held < 0 || !bands[size_t(slot)]->present)
            bandArrived(slot, place.devicePath);
    }
    for (int slot = 0; slot < int(bands.size()); ++slot) {
        const QString location = map.locationOf(slot);
        const bool listed = std::any_of(places.begin(), places.end(),
                                        [&](const PanelGrid::BandPlace &p) { return p.location == location; });
        Slot &s = *bands[size_t(slot)];
        if (!location.isEmpty() && s.present && !listed)
            bandLeft(slot);
        // A band that passed and did not come back from its restart was taken away.
        if (s.awaitingReturn && s.goneFor.hasExpired(returnTimeoutMs))
            freeSlot(slot);
    }
    showNote(unplaced);
    updateButtons();
}

void MultiTestWindow::bandArrived(int slot, const QString &devicePath)
{
    Slot &s = *bands[size_t(slot)];
    s.present = true;
    s.devicePath = devicePath;
    BandPanel *panel = panels->panel(slot);
    panel->setLocation(panels->slotMap().locationOf(slot));
    if (s.awaitingReturn) {
        // Back from the restart that follows a pass: the same band, its result stays.
        s.awaitingReturn = false;
        return;
    }
    if (s.state == State::Running)
        return;
    panel->clearSteps();
    s.state = State::Ready;
    if (autostart)
        startSlot(slot);
}

void MultiTestWindow::bandLeft(int slot)
{
    Slot &s = *bands[size_t(slot)];
    s.present = false;
    if (s.state == State::Running)
        return; // the run notices and ends; its panel is freed then
    if (s.passRestartDue) {
        s.passRestartDue = false;
        s.awaitingReturn = true;
        s.goneFor.start();
        return;
    }
    freeSlot(slot);
}

void MultiTestWindow::freeSlot(int slot)
{
    Slot &s = *bands[size_t(slot)];
    s.state = State::Empty;
    s.passRestartDue = false;
    s.awaitingReturn = false;
    s.present = false;
    panels->slotMap().release(slot);
    BandPanel *panel = panels->panel(slot);
    panel->clearSteps();
    panel->setLocation(QString());
}

void MultiTestWindow::startSlot(int slot)
{
    Slot &s = *bands[size_t(slot)];
    if (!definitionUsable || s.worker || !s.present || s.awaitingReturn || s.passRestartDue)
        return;
    BandPanel *panel = panels->panel(slot);
    panel->clearSteps();
    panel->setVerdict(BandPanel::Verdict::Running);
    s.state = State::Running;
    TestDefinition definition;
    const bool loaded = defReader.getDefinition(&definition);
    const QString path = s.devicePath;
    // Asked on the worker after a failed step: a band pulled out is not failed.
    const QString location = panels->slotMap().locationOf(slot);
    s.sequence.setPresenceCheck([grid = panels, location] { return grid->isListed(location); });
    Slot *raw = &s;
    const Runner runner = runnerOverride;
    s.worker = QThread::create([raw, path, definition, loaded, runner] {
        const TestDefinition *written = loaded ? &definition : nullptr;
        // A worker that fails in itself fails its own band only.
        try {
            if (runner) {
                raw->result = runner(raw->sequence, path, written);
            } else {
                LinkChannel link(QFile::encodeName(path).toStdString());
                raw->result = raw->sequence.run(link, written);
            }
        } catch (const std::exception &e) {
            raw->result = TestResult();
            raw->result.failedStep = QString::fromLocal8Bit(e.what());
        } catch (...) {
            raw->result = TestResult();
            raw->result.failedStep = QStringLiteral("worker failed");
        }
    });
    connect(s.worker, &QThread::finished, this, [this, slot] { runFinished(slot); });
    s.worker->start();
    updateButtons();
}

void MultiTestWindow::startAllReady()
{
    for (int slot = 0; slot < int(bands.size()); ++slot)
        if (bands[size_t(slot)]->state == State::Ready)
            startSlot(slot);
}

void MultiTestWindow::runFinished(int slot)
{
    Slot &s = *bands[size_t(slot)];
    s.worker->wait();
    delete s.worker;
    s.worker = nullptr;
    keepRecord(slot);
    if (s.result.outcome == TestResult::Outcome::Interrupted) {
        freeSlot(slot); // pulled out: nothing to show for a band that is gone
        updateButtons();
        return;
    }
    s.state = State::Done;
    showResult(slot);
    if (s.result.passed()) {
        // The band restarts after a pass; its result stays through that.
        if (s.present) {
            s.passRestartDue = true;
        } else {
            s.awaitingReturn = true;
            s.goneFor.start();
        }
    } else if (!s.present) {
        freeSlot(slot);
    }
    updateButtons();
}

void MultiTestWindow::showStep(int slot, int row)
{
    Slot &s = *bands[size_t(slot)];
    if (s.state != State::Running)
        return;
    BandPanel *panel = panels->panel(slot);
    // The steps between two exchanges (LEDs, alarm clock) pass with the next one.
    for (int before = 0; before < row; ++before)
        if (panel->stepLook(before) != BandPanel::StepLook::Passed)
            panel->setStepLook(before, BandPanel::StepLook::Passed);
    panel->setStepLook(row, BandPanel::StepLook::Running);
}

void MultiTestWindow::showResult(int slot)
{
    const TestResult &result = bands[size_t(slot)]->result;
    BandPanel *panel = panels->panel(slot);
    for (int row = 0; row < TestSequence::RowCount; ++row) {
        if (result.reached(row))
            panel->setStepLook(row, BandPanel::StepLook::Passed, stepPassText(row, result));
        else if (row == result.failedRow)
            panel->setStepLook(row, BandPanel::StepLook::Failed, QStringLiteral("Err"));
        else
            panel->setStepLook(row, BandPanel::StepLook::NotRun);
    }
    panel->setVerdict(result.passed() ? BandPanel::Verdict::Pass : BandPanel::Verdict::Fail);
    // The failed step by its name on the panel; a worker that failed in itself by its reason.
    const QString failed = stepNames().value(result.failedRow, result.failedStep);
    if (result.portHeld)
        panel->setDetail(heldPortText(bands[size_t(slot)]->devicePath));
    else
        panel->setDetail(result.passed() ? tr("请拔掉手环") : tr("失败: %1").arg(failed));
}

void MultiTestWindow::keepRecord(int slot)
{
    RunRecord record = store.begin(QStringLiteral("tester"));
    fillTestRecord(record, bands[size_t(slot)]->result);
    record.usbPath = panels->slotMap().locationOf(slot);
    store.write(record); // a problem shows in the status bar; the panel stands as it is
}

void MultiTestWindow::updateButtons()
{
    bool anyReady = false;
    for (int slot = 0; slot < int(bands.size()); ++slot) {
        const Slot &s = *bands[size_t(slot)];
        const bool startable = definitionUsable && s.present && !s.worker && !s.passRestartDue && !s.awaitingReturn;
        panels->panel(slot)->setStartEnabled(startable);
        anyReady = anyReady || (startable && s.state == State::Ready);
    }
    panels->startAllButton()->setEnabled(anyReady);
}

void MultiTestWindow::showNote(int unplaced)
{
    if (!definitionNote.isEmpty())
        panels->setNote(definitionNote);
    else if (unplaced > 0)
        panels->setNote(tr("手环多于面板: %1 个手环未显示").arg(unplaced));
    else if (panels->everyBandHasItsResult())
        panels->setNote(tr("全部手环已有结果，请拔下手环，再插入新手环"));
    else
        panels->setNote(autostart ? tr("插入手环即开始测试") : tr("插入手环后按开始测试"));
}

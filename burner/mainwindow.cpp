#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "burnlooks.h"
#include "burnrecord.h"
#include "recordstatus.h"

#include <QCloseEvent>
#include <QDebug>
#include <QMessageBox>
#include <QPixmap>
#include <QStatusBar>

namespace {

const QString kTipsIcon = QStringLiteral("./rc/tips.png");
const QString kOkIcon = QStringLiteral("./rc/ok.png");
const QString kRetryIcon = QStringLiteral("./rc/retry.png");

constexpr int kLastStepRow = 7;
constexpr int kResultRow = BurnReport::kResultStep;
constexpr int kLastSourceStep = 2; // CSD, CSC, CSB check the station's own files
// How long a close waits for a running burn to report its end.
constexpr int kStopBudgetMs = 5000;
const QString kWindowClosed = QStringLiteral("window closed");

} // namespace

MainWindow::MainWindow(const PortSource *ports, HotplugSource *hotplug, QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), slot(1), ports(ports), hotplug(hotplug), band(hotplug, ports)
{
    ui->setupUi(this);
    BurnLooks::setUpRows(ui->tvLog);
    band.setRecordStore(&store);
    band.watchDisks();
    connect(ui->pbReset, &QPushButton::clicked, this, &MainWindow::slotOnPbReset);
    connect(ui->pbBurn, &QPushButton::clicked, this, &MainWindow::slotOnPbBurn);
    connect(&slot, &SlotManager::changed, this, [this] {
        if (slot.present(0) != portPresent)
            slotOnSBConnected(slot.present(0));
    });
    connect(&band, &BurnController::resetDone, this, &MainWindow::onResetDone);
    connect(&band, &BurnController::upgradeTimedOut, this,
            [this] { showStatus(kRetryIcon, tr("手环没有进入升级模式，请重新连接手环到电脑.")); });
    connect(&band, &BurnController::stepStarted, this, [this](uint idx) {
        if (idx < uint(kResultRow))
            BurnLooks::paintRow(ui->tvLog, int(idx), BandPanel::StepLook::Running);
    });
    connect(&band, &BurnController::stepReported, this, &MainWindow::slotOnProcessOk);
    connect(&band, &BurnController::finished, this, &MainWindow::onBurnEnded);
    connect(&band, &BurnController::diskReady, this, &MainWindow::onDiskReady);
    connect(&band, &BurnController::diskGone, this, &MainWindow::onDiskGone);

    statusPicture.setObjectName(QStringLiteral("statusIcon"));
    statusLine.setObjectName(QStringLiteral("statusText"));
    // Two short lines fit the narrow window; a longer message wraps.
    statusLine.setWordWrap(true);
    statusPicture.setPixmap(QPixmap(kTipsIcon));
    statusLine.setText(tr("请连接手环到电脑."));
    statusBar()->addWidget(&statusPicture, 0);
    statusBar()->addWidget(&statusLine, 1);
    showRecordProblems(store, this);
}

MainWindow::~MainWindow()
{
    // Closed mid-burn: the burn stops within milliseconds and its report,
    // interrupted, still becomes the run's record.
    band.stopAndWait(kWindowClosed, kStopBudgetMs);
    delete ui;
}

bool MainWindow::init(int pollMs)
{
    if (!hotplug || !hotplug->start()) {
        qDebug() << "Failed to register device notification";
        return false;
    }
    if (!checkStation())
        showStatus(kRetryIcon, stationProblemText());
    // Last, so that no port report reaches the window before the names are read.
    slot.startWatching(ports, pollMs);
    return true;
}

void MainWindow::markSimulated()
{
    ui->verticalLayout->insertWidget(0, BurnLooks::simulatedMarker());
}

QPushButton *MainWindow::resetButton() const { return ui->pbReset; }
QPushButton *MainWindow::burnButton() const { return ui->pbBurn; }
QTableWidget *MainWindow::stepTable() const { return ui->tvLog; }

void MainWindow::slotOnSBConnected(bool yes)
{
    portPresent = yes;
    if (yes) {
        band.stopAwaitingDisk();
        // The band just burned, back from its restart: its result stays, and
        // it must not be reset again.
        if (band.isRunning() || burnedBandPresent) {
            ui->pbReset->setEnabled(false);
            return;
        }
        // A new band: the last one's results must not sit beside it.
        BurnLooks::paintReport(ui->tvLog, BurnReport());
        ui->pbReset->setEnabled(true);
        if (checkStation())
            showStatus(kTipsIcon, tr("请点击复位按钮."));
        else
            showStatus(kRetryIcon, stationProblemText());
        return;
    }
    ui->pbReset->setEnabled(false);
    if (burnedBandPresent) {
        // Unplugged: the next band starts afresh.
        burnedBandPresent = false;
        showStatus(kTipsIcon, tr("请连接手环到电脑."));
        return;
    }
    // The band's port goes when it restarts as a disk, and the watcher may
    // say so only after the disk arrived: the Burn prompt stays.
    if (!band.disk().isEmpty() || band.isRunning())
        return;
    if (band.awaitsDisk())
        showStatus(kTipsIcon, tr("复位成功，手环正在进入升级模式，请稍候."));
    else if (slot.stationProblem().isEmpty())
        showStatus(kTipsIcon, tr("请连接手环到电脑."));
    else
        showStatus(kRetryIcon, stationProblemText());
}

void MainWindow::slotOnPbReset()
{
    if (!portPresent) {
        showCritical(tr("端口无效"));
        return;
    }
    // A station problem is found before the band is touched, not once it
    // sits in upgrade mode with nothing to burn.
    if (!checkStation()) {
        showStatus(kRetryIcon, stationProblemText());
        showCritical(stationProblemText());
        return;
    }
    ui->pbReset->setEnabled(false);
    // A port whose USB place is unknown is listed by its name: its disk is then any band's.
    const QString where = slot.devicePath(0).endsWith(slot.location(0)) ? QString() : slot.location(0);
    band.reset(slot.devicePath(0), where, upgradeTimeoutMs);
}

void MainWindow::onResetDone(UpgradeResult result)
{
    switch (result) {
    case UpgradeResult::OpenFailed:
        showCritical(tr("端口打开失败"));
        showStatus(kTipsIcon, tr("复位失败，请重新连接手环到电脑."));
        ui->pbReset->setEnabled(portPresent); // another try
        break;
    case UpgradeResult::NotAnswered:
        showCritical(tr("端口通信失败"));
        showStatus(kTipsIcon, tr("复位失败，请重新连接手环到电脑."));
        break;
    case UpgradeResult::Sent:
        showStatus(kTipsIcon, tr("复位成功，手环正在进入升级模式，请稍候."));
        break;
    }
}

void MainWindow::slotOnPbBurn()
{
    // A second start while a burn runs would change its inputs under it.
    if (band.isRunning())
        return;
    BurnLooks::paintReport(ui->tvLog, BurnReport());
    ui->pbBurn->setEnabled(false);
    if (band.disk().isEmpty() || burnFiles.cfgName.isEmpty() || burnFiles.binName.isEmpty())
        return; // nothing to burn: no message
    BurnCycleOptions options;
    options.files = burnFiles;
    options.pauseMs = pauseMs;
    options.portTimeoutMs = returnTimeoutMs;
    if (band.burn(options))
        showStatus(kTipsIcon, tr("正在烧录，请勿拔出手环."));
}

void MainWindow::slotOnProcessOk(uint idx, bool rst)
{
    if (idx >= uint(BurnReport::kStepCount))
        return;
    const int row = int(idx);
    BurnLooks::paintRow(ui->tvLog, row, rst ? BandPanel::StepLook::Passed : BandPanel::StepLook::Failed);
    if (rst && row == kLastStepRow) {
        // The result row waits for the band to come back.
        showStatus(kOkIcon, tr("烧录成功，请等待手环震动重启."));
        BurnLooks::paintRow(ui->tvLog, kResultRow, BandPanel::StepLook::Running);
    } else if (!rst) {
        BurnLooks::paintRow(ui->tvLog, kResultRow, BandPanel::StepLook::Failed);
        showStatus(kRetryIcon, tr("烧录失败，请重新连接手环到电脑."));
    }
}

void MainWindow::onDiskReady()
{
    burnedBandPresent = false;
    BurnLooks::paintReport(ui->tvLog, BurnReport()); // a new band
    ui->pbBurn->setEnabled(true);
    showStatus(kTipsIcon, tr("请点击烧录按钮."));
}

void MainWindow::onDiskGone()
{
    ui->pbBurn->setEnabled(false);
    // After a burn the band leaves as a disk to restart by itself; the
    // success stays on screen while it does.
    if ((band.isRunning() && band.stage() == BurnReport::Stage::PortWait) || burnedBandPresent)
        return;
    showStatus(kTipsIcon, tr("请重新连接手环到电脑."));
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (!BurnLooks::mayClose(this, [this] { return band.isRunning() && band.stage() == BurnReport::Stage::Burn; })) {
        event->ignore();
        return;
    }
    band.stopAndWait(kWindowClosed, kStopBudgetMs);
    event->accept();
}

void MainWindow::onBurnEnded(const BurnReport &report)
{
    BurnLooks::paintReport(ui->tvLog, report);
    statusLine.setToolTip(report.error);
    if (report.outcome == BurnReport::Outcome::Pass) {
        burnedBandPresent = true;
        ui->pbReset->setEnabled(false);
        showStatus(kOkIcon, tr("烧录成功，手环已重启，版本 %1.\n请拔下手环.").arg(report.version));
        return;
    }
    if (report.failedStep == kResultRow && report.steps[size_t(kLastStepRow)] == BurnReport::StepResult::Passed)
        showStatus(kRetryIcon, tr("烧录后手环没有正常重启，请重新连接手环到电脑."));
    else if (report.failedStep >= 0 && report.failedStep <= kLastSourceStep && !checkStation())
        showStatus(kRetryIcon, stationProblemText());
    else if (report.failedStep < 0) // ended before any step could fail (run.log could not be opened)
        showStatus(kRetryIcon, tr("烧录失败: %1").arg(report.error));
    // A band that came on its port meanwhile is a new one.
    if (portPresent)
        ui->pbReset->setEnabled(true);
}

bool MainWindow::checkStation()
{
    slot.setStationProblem(BurnLooks::stationProblem(&burnFiles));
    store.setIdentity(burnerIdentity(burnFiles, QStringLiteral("bin/")));
    return slot.stationProblem().isEmpty();
}

QString MainWindow::stationProblemText() const
{
    return tr("工位问题，修复后按复位:\n%1").arg(slot.stationProblem());
}

void MainWindow::showStatus(const QString &iconPath, const QString &text)
{
    statusPicture.setPixmap(QPixmap(iconPath));
    statusLine.setText(text);
    statusBar()->repaint();
}

void MainWindow::showCritical(const QString &text)
{
    // Cancel is not among the buttons, so the box offers OK and Cancel;
    // the answer makes no difference.
    QMessageBox::critical(this, tr("失败"), text, QMessageBox::Ok, QMessageBox::Cancel);
}

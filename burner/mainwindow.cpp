#include "mainwindow.h"
#include "closequestion.h"
#include "ui_mainwindow.h"

#include "bandupgrade.h"
#include "burnrecord.h"
#include "recordstatus.h"

#include <QBrush>
#include <QCloseEvent>
#include <QColor>
#include <QDebug>
#include <QEventLoop>
#include <QMessageBox>
#include <QPixmap>
#include <QStatusBar>
#include <QTableWidgetItem>

#include <utility>

namespace {

const QString kTipsIcon = QStringLiteral("./rc/tips.png");
const QString kOkIcon = QStringLiteral("./rc/ok.png");
const QString kRetryIcon = QStringLiteral("./rc/retry.png");

const QString kDefinitionFile = QStringLiteral("def.xml");
const QString kSourceFolder = QStringLiteral("bin/");

constexpr int kRowCount = 9;
constexpr int kLastStepRow = 7;
constexpr int kResultRow = 8;
constexpr int kLastSourceStep = 2; // CSD, CSC, CSB check the station's own files
// How long a close waits for a running burn to report its end.
constexpr int kStopBudgetMs = 5000;
constexpr int kUpgradeTimeoutMs = 30000;

const QString kWindowClosed = QStringLiteral("window closed");

} // namespace

MainWindow::MainWindow(const PortSource *ports, HotplugSource *hotplug, QWidget *parent)
    : QMainWindow(parent),
      ui(new Ui::MainWindow),
      burnCycle(nullptr, ports, this),
      comThread(this, ports),
      hotplug(hotplug),
      diskWatch(hotplug)
{
    ui->setupUi(this);

    for (int row = 0; row < kRowCount; ++row) {
        ui->tvLog->setItem(row, 0, new QTableWidgetItem);
        setRowLook(row, RowLook::NotRun);
    }

    upgradeTimer.setSingleShot(true);
    upgradeTimer.setInterval(kUpgradeTimeoutMs);
    connect(&upgradeTimer, &QTimer::timeout, this, &MainWindow::slotOnUpgradeTimeout);
    connect(ui->pbReset, &QPushButton::clicked, this, &MainWindow::slotOnPbReset);
    connect(&comThread, &CComThread::SBConnected, this, &MainWindow::slotOnSBConnected);
    connect(ui->pbBurn, &QPushButton::clicked, this, &MainWindow::slotOnPbBurn);
    connect(&burnCycle, &BurnCycle::stepReported, this, &MainWindow::slotOnProcessOk);
    connect(&burnCycle, &BurnCycle::stepStarted, this, &MainWindow::slotOnStepStarted);
    connect(&burnCycle, &BurnCycle::finished, this, &MainWindow::slotOnBurnEnded);
    connect(&diskWatch, &BandDiskWatch::diskMounted, this, &MainWindow::slotOnBandDiskMounted);
    connect(&diskWatch, &BandDiskWatch::bandRemoved, this, &MainWindow::slotOnBandRemoved);

    statusIcon.setObjectName(QStringLiteral("statusIcon"));
    statusText.setObjectName(QStringLiteral("statusText"));
    // Two short lines fit the narrow window; a longer message wraps.
    statusText.setWordWrap(true);
    statusIcon.setPixmap(QPixmap(kTipsIcon));
    statusText.setText(tr("请连接手环到电脑."));
    statusBar()->addWidget(&statusIcon, 0);
    statusBar()->addWidget(&statusText, 1);
    showRecordProblems(store, this);
    statusBar()->repaint();
}

MainWindow::~MainWindow()
{
    finishBurnForRecord(kWindowClosed);
    delete ui;
    // Both stops are cooperative and wait for the thread to end; the burn's
    // is the cycle's own, when it is destroyed.
    comThread.stop();
}

bool MainWindow::init()
{
    if (!hotplug || !hotplug->start()) {
        qDebug() << "Failed to register device notification";
        return false;
    }
    if (!checkStationFiles())
        showStationProblem();
    // Last, so that no port report reaches the window before the names are read.
    comThread.start();
    return true;
}

const BurnFileNames &MainWindow::burnFileNames() const
{
    return burnFiles;
}

void MainWindow::markSimulated()
{
    auto *marker = new QLabel(tr("[模拟手环]"), this);
    marker->setObjectName(QStringLiteral("simulatedMarker"));
    marker->setAlignment(Qt::AlignCenter);
    marker->setWordWrap(true);
    marker->setStyleSheet(QStringLiteral("color: white; background: rgb(200, 0, 0); font-weight: bold; padding: 2px;"));
    ui->verticalLayout->insertWidget(0, marker);
}

void MainWindow::setUpgradeTimeoutMs(int ms)
{
    upgradeTimer.setInterval(ms);
}

void MainWindow::setReturnTimeoutMs(int ms)
{
    returnTimeoutMs = ms;
}

void MainWindow::slotOnSBConnected(bool yes)
{
    if (yes) {
        upgradeTimer.stop();
        // The band just burned, back from its restart: its result stays, and
        // it must not be reset again.
        if (burnCycle.isRunning() || burnedBandPresent) {
            ui->pbReset->setEnabled(false);
            return;
        }
        // A new band: the last one's results must not sit beside it.
        setAllRowsNotRun();
        resetBluetooth.clear();
        ui->pbReset->setEnabled(true);
        if (stationProblem.ok())
            showStatus(kTipsIcon, tr("请点击复位按钮."));
        else
            showStationProblem();
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
    if (!diskRoot.isEmpty() || burnCycle.isRunning())
        return;
    if (upgradeTimer.isActive()) // Reset sent, the band's disk not seen yet
        showStatus(kTipsIcon, tr("复位成功，手环正在进入升级模式，请稍候."));
    else if (stationProblem.ok())
        showStatus(kTipsIcon, tr("请连接手环到电脑."));
    else
        showStationProblem();
}

void MainWindow::slotOnPbReset()
{
    quint8 port = 0;
    if (!comThread.getPort(&port)) {
        showCritical(tr("端口无效"));
        return;
    }
    // A station problem is found before the band is touched, not once it
    // sits in upgrade mode with nothing to burn.
    if (!checkStationFiles()) {
        showStationProblem();
        showCritical(stationProblemText());
        return;
    }
    // The band comes back as a disk in the same USB port: only that disk is taken.
    diskWatch.setBandLocation(comThread.usbLocation());
    BandIdentity identity;
    switch (upgradeBand(port, &identity)) {
    case UpgradeResult::OpenFailed:
        showCritical(tr("端口打开失败"));
        showStatus(kTipsIcon, tr("复位失败，请重新连接手环到电脑."));
        return; // Reset stays enabled for another try
    case UpgradeResult::NotAnswered:
        showCritical(tr("端口通信失败"));
        showStatus(kTipsIcon, tr("复位失败，请重新连接手环到电脑."));
        break;
    case UpgradeResult::Sent:
        resetBluetooth = identity.bluetooth;
        upgradeTimer.start();
        showStatus(kTipsIcon, tr("复位成功，手环正在进入升级模式，请稍候."));
        break;
    }
    ui->pbReset->setEnabled(false);
}

void MainWindow::slotOnUpgradeTimeout()
{
    showStatus(kRetryIcon, tr("手环没有进入升级模式，请重新连接手环到电脑."));
}

void MainWindow::slotOnPbBurn()
{
    // A second start while a burn runs would change its inputs under it.
    if (burnCycle.isRunning())
        return;
    setAllRowsNotRun();
    ui->pbBurn->setEnabled(false);
    if (diskRoot.isEmpty() || burnFiles.cfgName.isEmpty() || burnFiles.binName.isEmpty())
        return; // nothing to burn: no message
    BurnCycleOptions options;
    options.files = burnFiles;
    options.diskRoot = diskRoot;
    options.pauseMs = -1;
    options.portTimeoutMs = returnTimeoutMs;
    options.expectedBluetooth = resetBluetooth;
    if (burnCycle.start(options))
        showStatus(kTipsIcon, tr("正在烧录，请勿拔出手环."));
}

void MainWindow::slotOnProcessOk(uint idx, bool rst)
{
    if (idx >= static_cast<uint>(kRowCount))
        return;
    const int row = static_cast<int>(idx);
    if (rst) {
        setRowLook(row, RowLook::Passed);
        if (row == kLastStepRow) {
            // The result row waits for the band to come back.
            showStatus(kOkIcon, tr("烧录成功，请等待手环震动重启."));
            setRowLook(kResultRow, RowLook::Running);
        }
    } else {
        setRowLook(row, RowLook::Failed);
        setRowLook(kResultRow, RowLook::Failed);
        showStatus(kRetryIcon, tr("烧录失败，请重新连接手环到电脑."));
    }
}

void MainWindow::slotOnStepStarted(uint idx)
{
    if (idx < static_cast<uint>(kResultRow))
        setRowLook(static_cast<int>(idx), RowLook::Running);
}

void MainWindow::slotOnBandDiskMounted(const QString &root)
{
    upgradeTimer.stop();
    // The running burn keeps the disk it started on; one that is ending
    // after its band was removed hands over to the new disk once it has ended.
    if (burnCycle.isRunning()) {
        if (burnCycle.stage() == BurnReport::Stage::PortWait) {
            // A disk instead of the band's port: that band did not start
            // its firmware, or another one came; either way it is burned anew.
            pendingDiskRoot = root;
            burnCycle.stop(QStringLiteral("a band's disk appeared instead of its port"));
        } else if (diskRoot.isEmpty()) {
            pendingDiskRoot = root;
        }
        return;
    }
    burnedBandPresent = false;
    takeDisk(root);
}

void MainWindow::slotOnBandRemoved()
{
    ui->pbBurn->setEnabled(false);
    diskRoot.clear();
    pendingDiskRoot.clear();
    // After a burn the band leaves as a disk to restart by itself; the
    // success stays on screen while it does.
    if (burnCycle.isRunning() && burnCycle.stage() == BurnReport::Stage::PortWait)
        return;
    if (burnedBandPresent)
        return;
    // Not waited for: the burn notices within milliseconds, reports the
    // step it was in as failed and ends by itself.
    burnCycle.stop();
    showStatus(kTipsIcon, tr("请重新连接手环到电脑."));
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (!closeDuringBurn(this, tr("正在烧录"), tr("正在烧录。现在关闭窗口，手环将没有固件。\n仍然关闭吗?"), [this] {
            return burnCycle.isRunning() && burnCycle.stage() == BurnReport::Stage::Burn;
        })) {
        event->ignore();
        return;
    }
    finishBurnForRecord(kWindowClosed);
    event->accept();
}

void MainWindow::finishBurnForRecord(const QString &reason)
{
    if (!burnCycle.isRunning())
        return;
    // Closed mid-burn: the burn stops within milliseconds and its report,
    // interrupted, still becomes the run's record.
    QEventLoop loop;
    connect(&burnCycle, &BurnCycle::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(kStopBudgetMs, &loop, &QEventLoop::quit);
    burnCycle.stop(reason);
    if (burnCycle.isRunning())
        loop.exec();
}

void MainWindow::slotOnBurnEnded(const BurnReport &report)
{
    RunRecord record = store.begin(QStringLiteral("burner"));
    fillBurnRecord(record, report);
    store.write(record); // a problem shows in the status bar; the rows stand as they are
    statusText.setToolTip(report.error);
    if (report.outcome == BurnReport::Outcome::Pass) {
        burnedBandPresent = true;
        ui->pbReset->setEnabled(false);
        setRowLook(kResultRow, RowLook::Passed);
        showStatus(kOkIcon, tr("烧录成功，手环已重启，版本 %1.\n请拔下手环.").arg(report.version));
    } else if (report.failedStep == kResultRow && report.steps[size_t(kLastStepRow)] == BurnReport::StepResult::Passed) {
        setRowLook(kResultRow, RowLook::Failed);
        showStatus(kRetryIcon, tr("烧录后手环没有正常重启，请重新连接手环到电脑."));
    } else if (report.failedStep >= 0 && report.failedStep <= kLastSourceStep && !checkStationFiles()) {
        showStationProblem();
    } else if (report.failedStep < 0) {
        // Ended before any step could fail (run.log could not be opened): never left looking busy.
        setRowLook(kResultRow, RowLook::Failed);
        showStatus(kRetryIcon, tr("烧录失败: %1").arg(report.error));
    }
    // A band that came on its port meanwhile is a new one.
    quint8 port = 0;
    if (report.outcome != BurnReport::Outcome::Pass && comThread.getPort(&port))
        ui->pbReset->setEnabled(true);
    if (pendingDiskRoot.isEmpty())
        return;
    takeDisk(std::exchange(pendingDiskRoot, QString()));
}

bool MainWindow::checkStationFiles()
{
    BurnFileNames files;
    stationProblem = checkStation(kDefinitionFile, kSourceFolder, &files);
    if (!files.cfgName.isEmpty() && !files.binName.isEmpty())
        burnFiles = files;
    if (!stationProblem.ok())
        qDebug() << "Station problem:" << stationProblem.englishText();
    return stationProblem.ok();
}

QString MainWindow::stationProblemText() const
{
    if (stationProblem.ok())
        return QString();
    return tr("工位问题，修复后按复位:\n%1").arg(stationProblem.operatorText());
}

void MainWindow::showStationProblem()
{
    showStatus(kRetryIcon, stationProblemText());
}

void MainWindow::takeDisk(const QString &root)
{
    diskRoot = root;
    setAllRowsNotRun(); // a new band
    ui->pbBurn->setEnabled(true);
    showStatus(kTipsIcon, tr("请点击烧录按钮."));
}

void MainWindow::setRowLook(int row, RowLook look)
{
    QTableWidgetItem *cell = ui->tvLog->item(row, 0);
    switch (look) {
    case RowLook::NotRun: // neutral: nothing has happened there
        cell->setText(QString());
        cell->setBackground(QBrush());
        break;
    case RowLook::Running:
        cell->setText(QString());
        cell->setBackground(QBrush(QColor(128, 192, 255)));
        break;
    case RowLook::Passed:
        cell->setText(tr("成功"));
        cell->setBackground(QBrush(Qt::green));
        break;
    case RowLook::Failed:
        cell->setText(tr("失败"));
        cell->setBackground(QBrush(Qt::red));
        break;
    }
}

void MainWindow::setAllRowsNotRun()
{
    for (int row = 0; row < kRowCount; ++row)
        setRowLook(row, RowLook::NotRun);
}

void MainWindow::showStatus(const QString &iconPath, const QString &text)
{
    statusIcon.setPixmap(QPixmap(iconPath));
    statusText.setText(text);
    statusBar()->repaint();
}

void MainWindow::showCritical(const QString &text)
{
    // Cancel is not among the buttons, so the box offers OK and Cancel;
    // the answer makes no difference.
    QMessageBox::critical(this, tr("失败"), text, QMessageBox::Ok, QMessageBox::Cancel);
}

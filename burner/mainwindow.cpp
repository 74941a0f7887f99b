#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "bandupgrade.h"
#include "burndefinition.h"
#include "burnrecord.h"
#include "recordstatus.h"

#include <QBrush>
#include <QColor>
#include <QDebug>
#include <QEventLoop>
#include <QMessageBox>
#include <QPixmap>
#include <QStatusBar>
#include <QTableWidgetItem>
#include <QTimer>

#include <utility>

namespace {

const QString kTipsIcon = QStringLiteral("./rc/tips.png");
const QString kOkIcon = QStringLiteral("./rc/ok.png");
const QString kRetryIcon = QStringLiteral("./rc/retry.png");

constexpr int kRowCount = 9;
constexpr int kLastStepRow = 7;
constexpr int kResultRow = 8;
// How long a close waits for a running burn to report its end.
constexpr int kStopBudgetMs = 5000;

} // namespace

MainWindow::MainWindow(const PortSource *ports, HotplugSource *hotplug, QWidget *parent)
    : QMainWindow(parent),
      ui(new Ui::MainWindow),
      burnCycle(nullptr, nullptr, this),
      comThread(this, ports),
      hotplug(hotplug),
      diskWatch(hotplug)
{
    ui->setupUi(this);

    for (int row = 0; row < kRowCount; ++row) {
        ui->tvLog->setItem(row, 0, new QTableWidgetItem);
        setRowLook(row, RowLook::Waiting);
    }

    connect(ui->pbReset, &QPushButton::clicked, this, &MainWindow::slotOnPbReset);
    connect(&comThread, &CComThread::SBConnected, ui->pbReset, &QPushButton::setEnabled);
    connect(&comThread, &CComThread::SBConnected, this, &MainWindow::slotOnSBConnected);
    connect(ui->pbBurn, &QPushButton::clicked, this, &MainWindow::slotOnPbBurn);
    connect(&burnCycle, &BurnCycle::stepReported, this, &MainWindow::slotOnProcessOk);
    connect(&burnCycle, &BurnCycle::stepStarted, this, &MainWindow::slotOnStepStarted);
    connect(&burnCycle, &BurnCycle::finished, this, &MainWindow::slotOnBurnEnded);
    connect(&diskWatch, &BandDiskWatch::diskMounted, this, &MainWindow::slotOnBandDiskMounted);
    connect(&diskWatch, &BandDiskWatch::bandRemoved, this, &MainWindow::slotOnBandRemoved);

    statusIcon.setObjectName(QStringLiteral("statusIcon"));
    statusText.setObjectName(QStringLiteral("statusText"));
    statusIcon.setPixmap(QPixmap(kTipsIcon));
    statusText.setText(QStringLiteral("请连接手环到电脑."));
    statusBar()->addWidget(&statusIcon, 0);
    statusBar()->addWidget(&statusText, 0);
    showRecordProblems(store, statusBar());
    statusBar()->repaint();
}

MainWindow::~MainWindow()
{
    finishBurnForRecord();
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
    if (!readBurnDefinition(QStringLiteral("def.xml"), &burnFiles))
        return false;
    // Last, so that no port report reaches the window before the names are read.
    comThread.start();
    return true;
}

const BurnFileNames &MainWindow::burnFileNames() const
{
    return burnFiles;
}

void MainWindow::slotOnSBConnected(bool yes)
{
    // The band's port goes when it restarts as a disk, and the watcher may
    // say so only after the disk arrived: the Burn prompt stays.
    if (!yes && !diskRoot.isEmpty())
        return;
    // A new band: the last one's results must not sit beside it.
    if (yes && !burnCycle.isRunning())
        setAllRowsWaiting();
    showStatus(kTipsIcon, yes ? QStringLiteral("请点击复位按钮.") : QStringLiteral("请连接手环到电脑."));
}

void MainWindow::slotOnPbReset()
{
    quint8 port = 0;
    if (!comThread.getPort(&port)) {
        showCritical(tr("端口无效"));
        return;
    }
    // The band comes back as a disk in the same USB port: only that disk is taken.
    diskWatch.setBandLocation(comThread.usbLocation());
    switch (upgradeBand(port)) {
    case UpgradeResult::OpenFailed:
        showCritical(tr("端口打开失败"));
        showStatus(kTipsIcon, QStringLiteral("复位失败，请重新连接手环到电脑."));
        return; // Reset stays enabled for another try
    case UpgradeResult::NotAnswered:
        showCritical(tr("端口通信失败"));
        showStatus(kTipsIcon, QStringLiteral("复位失败，请重新连接手环到电脑."));
        break;
    case UpgradeResult::Sent:
        showStatus(kTipsIcon, QStringLiteral("复位成功，请重新连接手环到电脑."));
        break;
    }
    ui->pbReset->setEnabled(false);
}

void MainWindow::slotOnPbBurn()
{
    // A second start while a burn runs would change its inputs under it.
    if (burnCycle.isRunning())
        return;
    setAllRowsWaiting();
    ui->pbBurn->setEnabled(false);
    if (diskRoot.isEmpty() || burnFiles.cfgName.isEmpty() || burnFiles.binName.isEmpty())
        return; // nothing to burn: no message
    BurnCycleOptions options;
    options.files = burnFiles;
    options.diskRoot = diskRoot;
    options.waitForPort = false;
    options.pauseMs = -1;
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
            showStatus(kOkIcon, QStringLiteral("烧录成功，请等待手环震动重启."));
            setRowLook(kResultRow, RowLook::Passed);
        }
    } else {
        setRowLook(row, RowLook::Failed);
        setRowLook(kResultRow, RowLook::Failed);
        showStatus(kRetryIcon, QStringLiteral("烧录失败，请重新连接手环到电脑."));
    }
}

void MainWindow::slotOnStepStarted(uint idx)
{
    if (idx < static_cast<uint>(kResultRow))
        setRowLook(static_cast<int>(idx), RowLook::Running);
}

void MainWindow::slotOnBandDiskMounted(const QString &root)
{
    // The running burn keeps the disk it started on; one that is ending
    // after its band was removed hands over to the new disk once it has ended.
    if (burnCycle.isRunning()) {
        if (diskRoot.isEmpty())
            pendingDiskRoot = root;
        return;
    }
    takeDisk(root);
}

void MainWindow::slotOnBandRemoved()
{
    // Not waited for: the burn notices within milliseconds, reports the
    // step it was in as failed and ends by itself.
    burnCycle.stop();
    ui->pbBurn->setEnabled(false);
    showStatus(kTipsIcon, QStringLiteral("请重新连接手环到电脑."));
    diskRoot.clear();
    pendingDiskRoot.clear();
}

void MainWindow::finishBurnForRecord()
{
    if (!burnCycle.isRunning())
        return;
    // Closed mid-burn: the burn stops within milliseconds and its report,
    // interrupted, still becomes the run's record.
    QEventLoop loop;
    connect(&burnCycle, &BurnCycle::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(kStopBudgetMs, &loop, &QEventLoop::quit);
    burnCycle.stop();
    if (burnCycle.isRunning())
        loop.exec();
}

void MainWindow::slotOnBurnEnded(const BurnReport &report)
{
    RunRecord record = store.begin(QStringLiteral("burner"));
    fillBurnRecord(record, report);
    store.write(record); // a problem shows in the status bar; the rows stand as they are
    if (pendingDiskRoot.isEmpty())
        return;
    takeDisk(std::exchange(pendingDiskRoot, QString()));
}

void MainWindow::takeDisk(const QString &root)
{
    diskRoot = root;
    setAllRowsWaiting(); // a new band
    ui->pbBurn->setEnabled(true);
    showStatus(kTipsIcon, QStringLiteral("请点击烧录按钮."));
}

void MainWindow::setRowLook(int row, RowLook look)
{
    QTableWidgetItem *cell = ui->tvLog->item(row, 0);
    switch (look) {
    case RowLook::Waiting:
        cell->setText(QString());
        cell->setBackground(QBrush(QColor(255, 224, 128)));
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

void MainWindow::setAllRowsWaiting()
{
    for (int row = 0; row < kRowCount; ++row)
        setRowLook(row, RowLook::Waiting);
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

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "burndefinition.h"

#include <bandlink.h>

#include <QBrush>
#include <QColor>
#include <QDebug>
#include <QMessageBox>
#include <QPixmap>
#include <QStatusBar>
#include <QTableWidgetItem>

namespace {

const QString kTipsIcon = QStringLiteral("./rc/tips.png");
const QString kOkIcon = QStringLiteral("./rc/ok.png");
const QString kRetryIcon = QStringLiteral("./rc/retry.png");

// The band in upgrade mode, seen as a USB disk.
constexpr quint16 kBandVendorId = 0x0451;
constexpr quint16 kBandDiskProductId = 0x16A8;

constexpr int kRowCount = 9;
constexpr int kLastStepRow = 7;
constexpr int kResultRow = 8;

bool isBandDisk(quint16 vendorId, quint16 productId)
{
    return vendorId == kBandVendorId && productId == kBandDiskProductId;
}

void traceUsbIds(quint16 vendorId, quint16 productId)
{
    qDebug() << "\tvid is: " << Qt::hex << vendorId;
    qDebug() << "\tpid is: " << Qt::hex << productId;
}

} // namespace

MainWindow::MainWindow(const PortSource *ports, HotplugSource *hotplug, QWidget *parent)
    : QMainWindow(parent),
      ui(new Ui::MainWindow),
      burnProcess(this),
      comThread(this, ports),
      hotplug(hotplug)
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
    connect(&burnProcess, &CBurnProcess::processOk, this, &MainWindow::slotOnProcessOk);

    if (hotplug) {
        connect(hotplug, &HotplugSource::usbDeviceArrived, this, &MainWindow::slotOnUsbDeviceArrived);
        connect(hotplug, &HotplugSource::usbDeviceLeft, this, &MainWindow::slotOnUsbDeviceLeft);
        connect(hotplug, &HotplugSource::volumeMounted, this, &MainWindow::slotOnVolumeMounted);
    }

    statusIcon.setObjectName(QStringLiteral("statusIcon"));
    statusText.setObjectName(QStringLiteral("statusText"));
    statusIcon.setPixmap(QPixmap(kTipsIcon));
    statusText.setText(QStringLiteral("请连接手环到电脑."));
    statusBar()->addWidget(&statusIcon, 0);
    statusBar()->addWidget(&statusText, 0);
    statusBar()->repaint();
}

MainWindow::~MainWindow()
{
    delete ui;
    // Both stops are cooperative and wait for the thread to end.
    burnProcess.stop();
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
    showStatus(kTipsIcon, yes ? QStringLiteral("请点击复位按钮.") : QStringLiteral("请连接手环到电脑."));
}

void MainWindow::slotOnPbReset()
{
    quint8 port = 0;
    if (!comThread.getPort(&port)) {
        showCritical(tr("端口无效"));
        return;
    }
    if (!sb_init(port)) {
        showCritical(tr("端口打开失败"));
        showStatus(kTipsIcon, QStringLiteral("复位失败，请重新连接手环到电脑."));
        return;
    }
    if (sb_upgrade()) {
        showStatus(kTipsIcon, QStringLiteral("复位成功，请重新连接手环到电脑."));
    } else {
        showCritical(tr("端口通信失败"));
        showStatus(kTipsIcon, QStringLiteral("复位失败，请重新连接手环到电脑."));
    }
    sb_exit();
    ui->pbReset->setEnabled(false);
}

void MainWindow::slotOnPbBurn()
{
    // A second start while a burn runs would change its inputs under it.
    if (burnProcess.isRunning())
        return;
    setAllRowsWaiting();
    ui->pbBurn->setEnabled(false);
    burnProcess.startBurn(diskRoot, burnFiles);
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

void MainWindow::slotOnUsbDeviceArrived(quint16 vendorId, quint16 productId)
{
    traceUsbIds(vendorId, productId);
    if (isBandDisk(vendorId, productId)) {
        bandUsbId[0] = vendorId;
        bandUsbId[1] = productId;
    }
}

void MainWindow::slotOnUsbDeviceLeft(quint16 vendorId, quint16 productId)
{
    qDebug() << "USB Removal";
    traceUsbIds(vendorId, productId);
    if (!isBandDisk(vendorId, productId))
        return;
    if (burnProcess.isRunning())
        burnProcess.stop();
    ui->pbBurn->setEnabled(false);
    showStatus(kTipsIcon, QStringLiteral("请重新连接手环到电脑."));
    bandUsbId[0] = 0;
    bandUsbId[1] = 0;
    diskRoot.clear();
}

void MainWindow::slotOnVolumeMounted(const VolumeInfo &volume)
{
    if (volume.kind != VolumeInfo::Kind::Local || !bandSeen())
        return;
    // Only the band's own disk: never an operator's USB stick or a local disk.
    if (volume.ownerKnown && !isBandDisk(volume.ownerVendorId, volume.ownerProductId))
        return;
    // The running burn keeps the disk it started on.
    if (burnProcess.isRunning() || volume.rootPath.isEmpty())
        return;
    diskRoot = volume.rootPath;
    if (!diskRoot.endsWith(QLatin1Char('/')))
        diskRoot += QLatin1Char('/');
    qDebug() << "\tusb-disk is: " << diskRoot;
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

bool MainWindow::bandSeen() const
{
    return isBandDisk(bandUsbId[0], bandUsbId[1]);
}

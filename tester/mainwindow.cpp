#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "boxplacement.h"

#include <QDateTime>
#include <QMessageBox>
#include <QThread>

#include <cstring>

namespace {

enum Row {
    RowOpenPort = 0,
    RowGetVersion = 1,
    RowSetTime = 2,
    RowGetTime = 3,
    RowSetConf = 6,
    RowGetConf = 7,
    RowReset = 10,
    RowCount = 12
};

const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);

QString timeText(const sb_time_t &t)
{
    return QStringLiteral("%1-%2-%3 %4:%5:%6")
        .arg(t.year).arg(t.month).arg(t.day).arg(t.hour).arg(t.minute).arg(t.second);
}

} // namespace

MainWindow::MainWindow(const PortSource *ports, QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), comThread(this, ports)
{
    ui->setupUi(this);
    for (int row = 0; row < RowCount; ++row)
        ui->twResult->setItem(row, 0, new QTableWidgetItem(QString()));
    clearResult();
    connect(ui->pbTest, &QPushButton::clicked, this, &MainWindow::slotOnpbTest);
    connect(&comThread, &CComThread::SBConnected, ui->pbTest, &QPushButton::setEnabled);
}

MainWindow::~MainWindow()
{
    // Asked to stop and waited for, never killed.
    comThread.stop();
    delete ui;
}

bool MainWindow::init()
{
    comThread.start(QThread::InheritPriority);
    return defReader.read();
}

void MainWindow::slotOnpbTest()
{
    clearResult();
    RunRecords records;
    const int failedRow = runSteps(records);
    if (failedRow < 0) {
        closePort();
        showPassed(records);
        showResultBox(QMessageBox::Information, QStringLiteral("SUCCESS"),
                      QStringLiteral("测试成功，请拔掉手环\n一定要重新拔插手环，再做测试"), QMessageBox::Ok,
                      QMessageBox::NoButton);
    } else {
        showFailed(failedRow);
        showResultBox(QMessageBox::Critical, QStringLiteral("FAIL"),
                      QStringLiteral("测试失败，请拔掉手环\n多次失败，请拔插手环并重启本程序"),
                      QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel);
    }
    ui->pbTest->setEnabled(true);
}

int MainWindow::runSteps(RunRecords &r)
{
    if (!openPort())
        return RowOpenPort;
    if (!sb_getVersion(&r.version))
        return RowGetVersion;
    if (!setBandTime(&r.sentTime))
        return RowSetTime;
    QThread::msleep(5);
    if (!sb_getTime(&r.readTime))
        return RowGetTime;
    if (!defReader.getPerson(&r.sentConf) || !sb_setSBConf(&r.sentConf))
        return RowSetConf;
    if (!sb_getSBConf(&r.readConf) || std::memcmp(&r.readConf, &r.sentConf, sizeof(sb_conf_t)) != 0)
        return RowGetConf;
    if (!sb_reset())
        return RowReset;
    return -1;
}

void MainWindow::showPassed(const RunRecords &r)
{
    const sb_version_t &v = r.version;
    for (int row = 0; row < RowCount; ++row)
        ui->twResult->item(row, 0)->setText(QStringLiteral("OK"));
    ui->twResult->item(RowGetVersion, 0)->setText(
        QStringLiteral("%1.%2.%3.%4").arg(v.version[0]).arg(v.version[1]).arg(v.version[2]).arg(v.version[3]));
    ui->twResult->item(RowSetTime, 0)->setText(timeText(r.sentTime));
    ui->twResult->item(RowGetTime, 0)->setText(timeText(r.readTime));
}

// Beside the window, so the table with the failing row stays in view.
void MainWindow::showResultBox(QMessageBox::Icon icon, const QString &title, const QString &text,
                               QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(icon, title, text, buttons, this);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    placeBeside(&box, this);
    box.exec();
}

void MainWindow::showFailed(int row)
{
    QTableWidgetItem *cell = ui->twResult->item(row, 0);
    cell->setText(QStringLiteral("Err"));
    cell->setBackground(QBrush(kRed));
}

bool MainWindow::openPort()
{
    quint8 port = 0;
    if (!comThread.getPort(&port)) {
        QMessageBox::critical(this, tr("失败"), tr("端口无效"), QMessageBox::Ok, QMessageBox::Cancel);
        return false;
    }
    return sb_init(port);
}

void MainWindow::closePort()
{
    sb_exit();
    clearResult();
}

void MainWindow::clearResult()
{
    ui->pbTest->setEnabled(false);
    for (int row = 0; row < RowCount; ++row) {
        QTableWidgetItem *cell = ui->twResult->item(row, 0);
        cell->setText(QString());
        cell->setBackground(QBrush(kGreen));
    }
}

bool MainWindow::setBandTime(sb_time_t *t)
{
    const QDateTime now = QDateTime::currentDateTime();
    const QDate date = now.date();
    const QTime time = now.time();
    t->second = quint8(time.second());
    t->minute = quint8(time.minute());
    t->hour = quint8(time.hour());
    t->day = quint8(date.day() - 1);
    t->month = quint8(date.month() - 1);
    t->year = date.year() < 2000 ? 0 : quint8((date.year() - 2000) & 0xFF);
    return sb_setTime(t);
}

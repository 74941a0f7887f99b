#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "boxplacement.h"
#include "recordstatus.h"
#include "testrecord.h"

#include <QMessageBox>
#include <QThread>

namespace {

constexpr int kRowCount = TestSequence::RowCount;
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
    for (int row = 0; row < kRowCount; ++row)
        ui->twResult->setItem(row, 0, new QTableWidgetItem(QString()));
    clearResult();
    connect(ui->pbTest, &QPushButton::clicked, this, &MainWindow::slotOnpbTest);
    connect(&comThread, &CComThread::SBConnected, ui->pbTest, &QPushButton::setEnabled);
    showRecordProblems(store, statusBar());
    sequence.setPresenceCheck([this] {
        quint8 port = 0;
        return comThread.getPort(&port);
    });
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
    sb_conf_t person{};
    const int port = portOrWarn();
    const TestResult result = sequence.run(port, defReader.getPerson(&person) ? &person : nullptr);
    keepRecord(result);
    if (result.passed()) {
        clearResult(); // the port is closed; the cells are written anew
        showPassed(result);
        showResultBox(QMessageBox::Information, QStringLiteral("SUCCESS"),
                      QStringLiteral("测试成功，请拔掉手环\n一定要重新拔插手环，再做测试"), QMessageBox::Ok,
                      QMessageBox::NoButton);
    } else {
        showFailed(result.failedRow);
        showResultBox(QMessageBox::Critical, QStringLiteral("FAIL"),
                      QStringLiteral("测试失败，请拔掉手环\n多次失败，请拔插手环并重启本程序"),
                      QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel);
    }
    ui->pbTest->setEnabled(true);
}

void MainWindow::keepRecord(const TestResult &result)
{
    RunRecord record = store.begin(QStringLiteral("tester"));
    fillTestRecord(record, result);
    store.write(record); // a problem shows in the status bar; the result stands as it is
}

void MainWindow::showPassed(const TestResult &r)
{
    const sb_version_t &v = r.version;
    for (int row = 0; row < kRowCount; ++row)
        ui->twResult->item(row, 0)->setText(QStringLiteral("OK"));
    ui->twResult->item(TestSequence::RowGetVersion, 0)->setText(
        QStringLiteral("%1.%2.%3.%4").arg(v.version[0]).arg(v.version[1]).arg(v.version[2]).arg(v.version[3]));
    ui->twResult->item(TestSequence::RowSetTime, 0)->setText(timeText(r.sentTime));
    ui->twResult->item(TestSequence::RowGetTime, 0)->setText(timeText(r.readTime));
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

int MainWindow::portOrWarn()
{
    quint8 port = 0;
    if (!comThread.getPort(&port)) {
        QMessageBox::critical(this, tr("失败"), tr("端口无效"), QMessageBox::Ok, QMessageBox::Cancel);
        return -1;
    }
    return port;
}

void MainWindow::clearResult()
{
    ui->pbTest->setEnabled(false);
    for (int row = 0; row < kRowCount; ++row) {
        QTableWidgetItem *cell = ui->twResult->item(row, 0);
        cell->setText(QString());
        cell->setBackground(QBrush(kGreen));
    }
}

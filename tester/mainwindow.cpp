#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "boxplacement.h"
#include "heldport.h"
#include "recordstatus.h"
#include "simulatedband.h"
#include "steptext.h"
#include "testrecord.h"

#include <QMessageBox>
#include <QThread>

namespace {

constexpr int kRowCount = TestSequence::RowCount;
const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);

} // namespace

MainWindow::MainWindow(const PortSource *ports, QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), comThread(this, ports)
{
    ui->setupUi(this);
    ui->lbSimulated->hide();
    for (int row = 0; row < kRowCount; ++row)
        ui->twResult->setItem(row, 0, new QTableWidgetItem(QString()));
    clearResult();
    updateButton(); // no band yet
    connect(ui->pbTest, &QPushButton::clicked, this, &MainWindow::slotOnpbTest);
    connect(&comThread, &CComThread::SBConnected, this, &MainWindow::onBandConnected);
    showRecordProblems(store, this);
    sequence.setPresenceCheck([this] {
        quint8 port = 0;
        return comThread.getPort(&port);
    });
}

MainWindow::~MainWindow()
{
    // Asked to stop and waited for, never killed; its record is kept.
    if (worker) {
        sequence.requestStop();
        worker->wait();
        delete worker;
        keepRecord(workerResult);
    }
    comThread.stop();
    delete ui;
}

bool MainWindow::init()
{
    comThread.start(QThread::InheritPriority);
    definitionUsable = defReader.read();
    updateButton();
    return definitionUsable;
}

QString MainWindow::initFailure() const
{
    return defReader.failureReason();
}

void MainWindow::markSimulated()
{
    setWindowTitle(SimulatedBand::windowTitleFor(windowTitle()));
    ui->lbSimulated->show();
}

void MainWindow::slotOnpbTest()
{
    if (worker || resultOpen || !definitionUsable)
        return;
    // A band still restarting after its pass may yet be listed: not ready.
    const int port = bandRestarting ? warnNoPort() : portOrWarn();
    if (port < 0)
        return; // no band: nothing ran, so there is nothing to record
    clearResult();
    TestDefinition definition;
    const bool loaded = defReader.getDefinition(&definition);
    // Off the window's thread, so the window keeps painting while a step
    // waits on a silent band.
    worker = QThread::create([this, port, definition, loaded, path = comThread.devicePath()] {
        workerResult = sequence.run(port, loaded ? &definition : nullptr, path);
    });
    connect(worker, &QThread::finished, this, &MainWindow::onRunFinished);
    worker->start();
    updateButton();
}

void MainWindow::onRunFinished()
{
    worker->wait();
    delete worker;
    worker = nullptr;
    const TestResult result = workerResult;
    keepRecord(result);
    showResult(result);
    // The band restarts after a pass; unless the watcher has already seen it
    // go, wait for that before a new run.
    bandRestarting = result.passed() && bandPresent;
    resultOpen = true;
    updateButton();
    if (result.passed()) {
        showResultBox(QMessageBox::Information, QStringLiteral("SUCCESS"),
                      tr("测试成功，请拔掉手环\n一定要重新拔插手环，再做测试"), QMessageBox::Ok, QMessageBox::NoButton);
    } else if (result.portHeld) { // the band is not at fault: no re-plugging, no restart
        showResultBox(QMessageBox::Critical, QStringLiteral("FAIL"), heldPortText(comThread.devicePath()),
                      QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel);
    } else {
        showResultBox(QMessageBox::Critical, QStringLiteral("FAIL"),
                      tr("测试失败，请拔掉手环\n多次失败，请拔插手环并重启本程序"),
                      QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel);
    }
    resultOpen = false;
    updateButton();
}

void MainWindow::onBandConnected(bool present)
{
    bandPresent = present;
    if (!present)
        bandRestarting = false;
    updateButton();
}

void MainWindow::updateButton()
{
    ui->pbTest->setEnabled(definitionUsable && bandPresent && !bandRestarting && !worker && !resultOpen);
}

void MainWindow::keepRecord(const TestResult &result)
{
    RunRecord record = store.begin(QStringLiteral("tester"));
    fillTestRecord(record, result);
    store.write(record); // a problem shows in the status bar; the result stands as it is
}

// Green for each step that passed, red for the one that failed; the steps
// never reached keep the neutral look.
void MainWindow::showResult(const TestResult &result)
{
    for (int row = 0; row < kRowCount; ++row) {
        QTableWidgetItem *cell = ui->twResult->item(row, 0);
        if (result.reached(row)) {
            cell->setText(stepPassText(row, result));
            cell->setBackground(QBrush(kGreen));
        } else if (row == result.failedRow) {
            cell->setText(QStringLiteral("Err"));
            cell->setBackground(QBrush(kRed));
        }
    }
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

int MainWindow::portOrWarn()
{
    quint8 port = 0;
    return comThread.getPort(&port) ? port : warnNoPort();
}

int MainWindow::warnNoPort()
{
    QMessageBox::critical(this, tr("失败"), tr("端口无效"), QMessageBox::Ok, QMessageBox::Cancel);
    return -1;
}

// Not run: no text, no colour.
void MainWindow::clearResult()
{
    for (int row = 0; row < kRowCount; ++row) {
        QTableWidgetItem *cell = ui->twResult->item(row, 0);
        cell->setText(QString());
        cell->setBackground(QBrush());
    }
}

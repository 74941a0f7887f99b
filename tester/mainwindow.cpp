#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "boxplacement.h"
#include "heldport.h"
#include "recordstatus.h"
#include "resultpainter.h"
#include "simulatedband.h"
#include "stationproblem.h"
#include "testertext.h"

#include <QLabel>
#include <QStatusBar>

MainWindow::MainWindow(const PortSource *ports, QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), station(1, ports)
{
    ui->setupUi(this);
    ui->lbSimulated->hide();
    setWindowTitle(TesterText::title());
    ui->lbSimulated->setText(TesterText::simulated());
    ui->pbTest->setText(TesterText::start());
    ui->twResult->setVerticalHeaderLabels(TesterText::stepLabels());
    for (int row = 0; row < ui->twResult->rowCount(); ++row)
        ui->twResult->setItem(row, 0, new QTableWidgetItem(QString()));
    paintSteps(ui->twResult, nullptr);
    updateButton(); // no band yet
    connect(ui->pbTest, &QPushButton::clicked, this, &MainWindow::slotOnpbTest);
    connect(&station.slotManager(), &SlotManager::changed, this, &MainWindow::updateButton);
    connect(&station, &TestStation::finished, this, [this](int, const TestResult &result) { showResult(result); });
    showStationProblem();
    showRecordProblems(station.records(), this);
}

MainWindow::~MainWindow()
{
    // The station goes after the form: nothing it says may reach the form then.
    station.disconnect(this);
    station.slotManager().disconnect(this);
    delete ui;
}

bool MainWindow::init()
{
    // The port watcher's once-a-second poll, and at once on the system's notice.
    const bool usable = station.init(1000);
    updateButton();
    return usable;
}

QTableWidget *MainWindow::resultTable() const
{
    return ui->twResult;
}

QPushButton *MainWindow::testButton() const
{
    return ui->pbTest;
}

void MainWindow::markSimulated()
{
    setWindowTitle(SimulatedBand::windowTitleFor(windowTitle()));
    ui->lbSimulated->show();
}

void MainWindow::slotOnpbTest()
{
    const SlotManager &slot = station.slotManager();
    if (resultOpen || slot.state(0) == SlotManager::State::Running || !slot.stationProblem().isEmpty())
        return;
    // No band, or one still restarting after its pass that may yet be listed:
    // nothing runs, so there is nothing to record.
    if (!station.start(0)) {
        QMessageBox::critical(this, tr("失败"), tr("端口无效"), QMessageBox::Ok, QMessageBox::Cancel);
        return;
    }
    paintSteps(ui->twResult, nullptr);
    updateButton();
}

// The record is kept before the operator sees the result.
void MainWindow::showResult(const TestResult &result)
{
    paintSteps(ui->twResult, &result);
    resultOpen = true;
    updateButton();
    if (result.passed()) {
        showResultBox(QMessageBox::Information, QStringLiteral("SUCCESS"),
                      tr("测试成功，请拔掉手环\n一定要重新拔插手环，再做测试"), QMessageBox::Ok, QMessageBox::NoButton);
    } else if (result.portHeld) { // the band is not at fault: no re-plugging, no restart
        showResultBox(QMessageBox::Critical, QStringLiteral("FAIL"), heldPortText(station.devicePath(0)),
                      QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel);
    } else {
        showResultBox(QMessageBox::Critical, QStringLiteral("FAIL"),
                      tr("测试失败，请拔掉手环\n多次失败，请拔插手环并重启本程序"),
                      QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel);
    }
    resultOpen = false;
    updateButton();
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

// station.ini's mistakes keep the band from starting: said under the table,
// the window growing by the lines (def.xml's problem has a box of its own).
void MainWindow::showStationProblem()
{
    const QString text = stationIniProblemText();
    if (text.isEmpty())
        return;
    auto *label = new QLabel(text);
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("color: rgb(200, 0, 0);"));
    statusBar()->addWidget(label, 1);
    // A station fixed meanwhile may test again: the line goes with the problem.
    connect(&station.slotManager(), &SlotManager::changed, label,
            [this, label] { label->setVisible(!station.slotManager().stationProblem().isEmpty()); });
    setFixedHeight(height() + label->heightForWidth(width()) + statusBar()->sizeHint().height());
}

void MainWindow::updateButton()
{
    ui->pbTest->setEnabled(station.slotManager().mayStart(0) && !resultOpen);
}

#include "bandpanel.h"
#include "ui_bandpanel.h"

#include <QHeaderView>
#include <QTableWidgetItem>

BandPanel::BandPanel(int number, const QStringList &stepNames, const QString &startText, QWidget *parent)
    : QFrame(parent), ui(new Ui::BandPanel), looks(stepNames.size(), StepLook::NotRun)
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("panel%1").arg(number));
    ui->lbSlot->setText(QString::number(number));
    ui->pbStart->setText(startText);
    ui->twSteps->setRowCount(int(stepNames.size()));
    ui->twSteps->setVerticalHeaderLabels(stepNames);
    for (int row = 0; row < stepNames.size(); ++row)
        ui->twSteps->setItem(row, 0, new QTableWidgetItem);
    // Every step in view without scrolling.
    const int rows = ui->twSteps->verticalHeader()->defaultSectionSize() * int(stepNames.size());
    ui->twSteps->setFixedHeight(rows + 2 * ui->twSteps->frameWidth());
    QFont big = ui->lbVerdict->font();
    big.setPointSize(22); // with 8 panels the window still fits a 1366x768 screen
    big.setBold(true);
    ui->lbVerdict->setFont(big);
    connect(ui->pbStart, &QPushButton::clicked, this, &BandPanel::startRequested);
    setLocation(QString());
    setVerdict(Verdict::None);
}

BandPanel::~BandPanel()
{
    delete ui;
}

void BandPanel::setLocation(const QString &location)
{
    where = location;
    ui->lbLocation->setText(location.isEmpty() ? tr("无手环") : location);
}

QColor BandPanel::colourOf(StepLook look)
{
    switch (look) {
    case StepLook::NotRun: return QColor();
    case StepLook::Running: return QColor(128, 192, 255);
    case StepLook::Passed: return QColor(Qt::green);
    case StepLook::Failed: return QColor(Qt::red);
    }
    return QColor();
}

void BandPanel::setStepLook(int row, StepLook look, const QString &text)
{
    QTableWidgetItem *cell = ui->twSteps->item(row, 0);
    if (!cell)
        return;
    looks[row] = look;
    QString shown = text;
    if (shown.isEmpty() && look == StepLook::Passed)
        shown = tr("成功");
    else if (shown.isEmpty() && look == StepLook::Failed)
        shown = tr("失败");
    cell->setText(shown);
    const QColor colour = colourOf(look);
    cell->setBackground(colour.isValid() ? QBrush(colour) : QBrush());
}

void BandPanel::clearSteps()
{
    for (int row = 0; row < looks.size(); ++row)
        setStepLook(row, StepLook::NotRun);
    setVerdict(Verdict::None);
    setDetail(QString());
}

void BandPanel::setVerdict(Verdict verdict)
{
    shown = verdict;
    switch (verdict) {
    case Verdict::None:
        ui->lbVerdict->setText(QString());
        ui->lbVerdict->setStyleSheet(QString());
        break;
    case Verdict::Running:
        ui->lbVerdict->setText(QStringLiteral("…"));
        ui->lbVerdict->setStyleSheet(QStringLiteral("background: rgb(128, 192, 255);"));
        break;
    case Verdict::Pass:
        ui->lbVerdict->setText(QStringLiteral("PASS"));
        ui->lbVerdict->setStyleSheet(QStringLiteral("background: rgb(0, 255, 0); color: black;"));
        break;
    case Verdict::Fail:
        ui->lbVerdict->setText(QStringLiteral("FAIL"));
        ui->lbVerdict->setStyleSheet(QStringLiteral("background: rgb(255, 0, 0); color: white;"));
        break;
    }
}

void BandPanel::setDetail(const QString &text)
{
    ui->lbDetail->setText(text);
}

void BandPanel::setStartEnabled(bool enabled)
{
    ui->pbStart->setEnabled(enabled);
}

BandPanel::StepLook BandPanel::stepLook(int row) const
{
    return looks.value(row, StepLook::NotRun);
}

QString BandPanel::stepText(int row) const
{
    const QTableWidgetItem *cell = ui->twSteps->item(row, 0);
    return cell ? cell->text() : QString();
}

BandPanel::Verdict BandPanel::verdict() const
{
    return shown;
}

QString BandPanel::location() const
{
    return where;
}

QString BandPanel::detail() const
{
    return ui->lbDetail->text();
}

QPushButton *BandPanel::startButton() const
{
    return ui->pbStart;
}

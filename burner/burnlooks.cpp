#include "burnlooks.h"

#include "closequestion.h"
#include "stationcheck.h"
#include "stationproblem.h"

#include <QDebug>

#include <QLabel>
#include <QTableWidget>

QStringList BurnLooks::stepNames()
{
    QStringList names;
    for (int step = 0; step < BurnReport::kStepCount; ++step)
        names << BurnReport::stepLabel(step);
    return names;
}

BandPanel::StepLook BurnLooks::lookOf(BurnReport::StepResult result)
{
    switch (result) {
    case BurnReport::StepResult::NotRun: return BandPanel::StepLook::NotRun;
    case BurnReport::StepResult::Passed: return BandPanel::StepLook::Passed;
    case BurnReport::StepResult::Failed: return BandPanel::StepLook::Failed;
    }
    return BandPanel::StepLook::NotRun;
}

void BurnLooks::setUpRows(QTableWidget *table)
{
    const QStringList names = stepNames();
    table->setRowCount(int(names.size()));
    table->setVerticalHeaderLabels(names);
    for (int row = 0; row < names.size(); ++row) {
        table->setItem(row, 0, new QTableWidgetItem);
        paintRow(table, row, BandPanel::StepLook::NotRun);
    }
}

void BurnLooks::paintRow(QTableWidget *table, int row, BandPanel::StepLook look)
{
    QTableWidgetItem *cell = table->item(row, 0);
    if (!cell)
        return;
    // The panels' own words for a step's result.
    cell->setText(look == BandPanel::StepLook::Passed ? QCoreApplication::translate("BandPanel", "成功")
                  : look == BandPanel::StepLook::Failed ? QCoreApplication::translate("BandPanel", "失败") : QString());
    const QColor colour = BandPanel::colourOf(look);
    cell->setBackground(colour.isValid() ? QBrush(colour) : QBrush());
}

void BurnLooks::paintReport(QTableWidget *table, const BurnReport &report)
{
    for (int step = 0; step < BurnReport::kStepCount; ++step)
        paintRow(table, step, lookOf(report.steps[size_t(step)]));
}

void BurnLooks::paintReport(BandPanel *panel, const BurnReport &report)
{
    for (int step = 0; step < BurnReport::kStepCount; ++step)
        panel->setStepLook(step, lookOf(report.steps[size_t(step)]));
}

QString BurnLooks::stageDetail(BurnReport::Stage stage)
{
    switch (stage) {
    case BurnReport::Stage::Upgrade: return tr("复位中");
    case BurnReport::Stage::DiskWait: return tr("等待升级模式");
    case BurnReport::Stage::Burn: return tr("正在烧录，请勿拔出手环");
    case BurnReport::Stage::PortWait: return tr("等待手环重启");
    case BurnReport::Stage::Done: break;
    }
    return QString();
}

QString BurnLooks::endDetail(const BurnReport &report)
{
    if (report.outcome == BurnReport::Outcome::Pass)
        return tr("版本 %1，请拔下手环").arg(report.version);
    switch (report.stage) {
    case BurnReport::Stage::Upgrade:
        if (report.outcome == BurnReport::Outcome::Interrupted)
            return QString();
        return report.error.startsWith(QLatin1String("cannot open")) ? tr("端口打开失败") : tr("端口通信失败");
    case BurnReport::Stage::DiskWait:
        return report.outcome == BurnReport::Outcome::Interrupted ? QString() : tr("手环没有进入升级模式");
    case BurnReport::Stage::Burn:
        return tr("烧录失败");
    case BurnReport::Stage::PortWait:
        return report.error.startsWith(QLatin1String("another band")) ? tr("回来的不是烧录的手环")
                                                                       : tr("烧录后手环没有正常重启");
    case BurnReport::Stage::Done:
        break;
    }
    return QString();
}

QString BurnLooks::stationProblem(BurnFileNames *files)
{
    BurnFileNames read;
    const StationProblem problem = checkStation(QStringLiteral("def.xml"), QStringLiteral("bin/"), &read);
    if (!read.cfgName.isEmpty() && !read.binName.isEmpty())
        *files = read;
    if (!problem.ok())
        qDebug() << "Station problem:" << problem.englishText();
    return stationProblemText(problem.ok() ? QString() : problem.operatorText());
}

QWidget *BurnLooks::simulatedMarker()
{
    auto *marker = new QLabel(tr("[模拟手环]"));
    marker->setObjectName(QStringLiteral("simulatedMarker"));
    marker->setAlignment(Qt::AlignCenter);
    marker->setWordWrap(true);
    marker->setStyleSheet(QStringLiteral("color: white; background: rgb(200, 0, 0); font-weight: bold; padding: 2px;"));
    return marker;
}

bool BurnLooks::mayClose(QWidget *window, const std::function<bool()> &burning)
{
    return closeDuringBurn(window, tr("正在烧录"), tr("正在烧录。现在关闭窗口，手环将没有固件。\n仍然关闭吗?"), burning);
}

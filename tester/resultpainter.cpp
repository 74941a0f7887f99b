#include "resultpainter.h"

#include "heldport.h"
#include "steptext.h"
#include "testertext.h"

#include <QCoreApplication>
#include <QTableWidget>

StepShown stepShown(int row, const TestResult &result)
{
    if (result.reached(row))
        return {BandPanel::StepLook::Passed, stepPassText(row, result)};
    if (row == result.failedRow)
        return {BandPanel::StepLook::Failed, QStringLiteral("Err")};
    return {};
}

void paintSteps(QTableWidget *table, const TestResult *result)
{
    for (int row = 0; row < table->rowCount(); ++row) {
        const StepShown shown = result ? stepShown(row, *result) : StepShown();
        const QColor colour = BandPanel::colourOf(shown.look);
        QTableWidgetItem *cell = table->item(row, 0);
        cell->setText(shown.text);
        cell->setBackground(colour.isValid() ? QBrush(colour) : QBrush());
    }
}

void paintResult(BandPanel *panel, const TestResult &result, const QString &devicePath)
{
    for (int row = 0; row < TestSequence::RowCount; ++row) {
        const StepShown shown = stepShown(row, result);
        panel->setStepLook(row, shown.look, shown.text);
    }
    panel->setVerdict(result.passed() ? BandPanel::Verdict::Pass : BandPanel::Verdict::Fail);
    // The failed step by its name; a worker that failed in itself by its reason.
    const QString failed = TesterText::stepLabels().value(result.failedRow, result.failedStep);
    if (result.portHeld)
        panel->setDetail(heldPortText(devicePath));
    else if (result.passed())
        panel->setDetail(QCoreApplication::translate("MultiTestWindow", "请拔掉手环"));
    else
        panel->setDetail(QCoreApplication::translate("MultiTestWindow", "失败: %1").arg(failed));
}

void paintStepStarted(BandPanel *panel, int row)
{
    for (int before = 0; before < row; ++before)
        if (panel->stepLook(before) != BandPanel::StepLook::Passed)
            panel->setStepLook(before, BandPanel::StepLook::Passed);
    panel->setStepLook(row, BandPanel::StepLook::Running);
}

#include "heldport.h"

#include "portholder.h"
#include "testsequence.h"

#include <QCoreApplication>

bool noteHeldPort(TestResult &result, const QString &devicePath)
{
    if (result.failedRow != TestSequence::RowOpenPort || devicePath.isEmpty() || !heldByAnotherProgram(devicePath))
        return false;
    result.error = QStringLiteral("%1 is in use by another program").arg(devicePath);
    return true;
}

QString heldPortText(const QString &devicePath)
{
    return QCoreApplication::translate("HeldPort", "端口 %1 被其他程序占用，请关闭该程序后再测试").arg(devicePath);
}

#include "heldport.h"

#include <QCoreApplication>

QString heldPortText(const QString &devicePath)
{
    return QCoreApplication::translate("HeldPort", "端口 %1 被其他程序占用，请关闭该程序后再测试").arg(devicePath);
}

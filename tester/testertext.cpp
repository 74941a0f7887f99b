#include "testertext.h"

#include <QCoreApplication>

namespace TesterText {

QStringList stepLabels()
{
    return {
        QCoreApplication::translate("Tester", "[打开串口]"),
        QCoreApplication::translate("Tester", "1.读取版本"),
        QCoreApplication::translate("Tester", "2.设置时间"),
        QCoreApplication::translate("Tester", "3.读取时间"),
        QCoreApplication::translate("Tester", "4.设置LED"),
        QCoreApplication::translate("Tester", "5.读取LED"),
        QCoreApplication::translate("Tester", "6.设置参数"),
        QCoreApplication::translate("Tester", "7.读取参数"),
        QCoreApplication::translate("Tester", "8.设置闹钟"),
        QCoreApplication::translate("Tester", "9.读取闹钟"),
        QCoreApplication::translate("Tester", "0.重新启动"),
        QCoreApplication::translate("Tester", "[关闭串口]"),
    };
}

QString title()
{
    return QCoreApplication::translate("Tester", "测试工具");
}

QString start()
{
    return QCoreApplication::translate("Tester", "开始测试");
}

QString simulated()
{
    return QCoreApplication::translate("Tester", "模拟手环，非真实测试");
}

} // namespace TesterText

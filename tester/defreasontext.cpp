#include "defreasontext.h"

#include "reasonforms.h"

namespace {

// In order: the first matching form wins, so the narrower ones come first.
const ReasonForm kForms[] = {
    {"^Fail to find \"type\": its value is empty$", QT_TRANSLATE_NOOP("DefReason", "\"type\" 的值为空")},
    {"^Fail to find \"(.*)\"$", QT_TRANSLATE_NOOP("DefReason", "找不到 \"%1\"")},
    {"^Fail to open \"(.*)\"$", QT_TRANSLATE_NOOP("DefReason", "无法打开 \"%1\"")},
    {"^Fail to analyze \"(.*)\"$", QT_TRANSLATE_NOOP("DefReason", "无法解析 \"%1\"")},
    {"^Fail to read \"(.*)\": (\\d+) bytes, more than the (\\d+) allowed$",
     QT_TRANSLATE_NOOP("DefReason", "无法读取 \"%1\": 文件有 %2 字节，超过上限 %3 字节")},
    {"^Fail to read \"(.*)\": not an XML document$", QT_TRANSLATE_NOOP("DefReason", "无法读取 \"%1\": 不是XML文件")},
    {"^Fail to read \"(.*)\" at line (\\d+): entity declarations are not allowed$",
     QT_TRANSLATE_NOOP("DefReason", "无法读取 \"%1\" 第 %2 行: 不允许实体声明")},
    {"^Fail to read \"(.*)\" at line (\\d+): (.*)$", QT_TRANSLATE_NOOP("DefReason", "无法读取 \"%1\" 第 %2 行: %3")},
    {"^Fail to accept (.+?) \"(.*)\": allowed are whole numbers from 0 to (\\d+) \\(or 0x0 to (0x[0-9a-f]+)\\)$",
     QT_TRANSLATE_NOOP("DefReason", "%1 的值 \"%2\" 无效: 只允许 0 到 %3 的整数 (或 0x0 到 %4)")},
    {"^Fail to accept (.+?) \"(.*)\": allowed are whole numbers from 0 to (\\d+)$",
     QT_TRANSLATE_NOOP("DefReason", "%1 的值 \"%2\" 无效: 只允许 0 到 %3 的整数")},
    {"^Fail to accept (.+?) \"(.*)\": it is given twice$", QT_TRANSLATE_NOOP("DefReason", "%1 \"%2\" 重复出现")},
    {"^Fail to read (.+?): it must come before the (.+?) definition, which ends the reading$",
     QT_TRANSLATE_NOOP("DefReason", "无法读取 %1: 它必须在 %2 定义之前，%2 定义之后的内容不再读取")},
    {"^Fail to recognize (.+)$", QT_TRANSLATE_NOOP("DefReason", "无法识别 %1")},
    {"^Fail to read (.+)$", QT_TRANSLATE_NOOP("DefReason", "无法读取 %1")},
    {"^Fail to find (.+)$", QT_TRANSLATE_NOOP("DefReason", "找不到 %1")},
};

} // namespace

QString operatorDefReason(const QString &reason)
{
    return translateReason(reason, kForms, "DefReason");
}

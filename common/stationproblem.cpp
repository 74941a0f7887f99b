#include "stationproblem.h"

#include "reasonforms.h"
#include "stationsettings.h"

#include <QStringList>

namespace {

const ReasonForm kForms[] = {
    {"^station\\.ini is not a settings file \\((.*)\\)$",
     QT_TRANSLATE_NOOP("StationProblem", "station.ini 不是设置文件 (%1)")},
    {"^station\\.ini: unknown setting (.+)$", QT_TRANSLATE_NOOP("StationProblem", "station.ini: 未知的设置 %1")},
    {"^station\\.ini: \\[station\\] name has a comma; put the name in double quotes$",
     QT_TRANSLATE_NOOP("StationProblem", "station.ini: [station] name 含有逗号，请把名称写在双引号中")},
    {"^station\\.ini: \\[database\\] url is not (.+)$",
     QT_TRANSLATE_NOOP("StationProblem", "station.ini: [database] url 不是 %1 的形式")},
    {"^station\\.ini holds the server's password and other users of this computer can read it \\((.+)\\)$",
     QT_TRANSLATE_NOOP("StationProblem", "station.ini 含有服务器密码，本机其他用户可以读取它 (%1)")},
    {"^station\\.ini: \\[station\\] slots=(.*) is not a number from 1 to (\\d+); one slot is used$",
     QT_TRANSLATE_NOOP("StationProblem", "station.ini: [station] slots=%1 不是 1 到 %2 的数字，现只用一个面板")},
    {"^station\\.ini: \\[station\\] autostart=(.*) is not true or false; bands wait for a press$",
     QT_TRANSLATE_NOOP("StationProblem", "station.ini: [station] autostart=%1 不是 true 或 false，手环等待按键开始")},
};

} // namespace

QString stationIniProblemText(const QString &folder)
{
    QStringList lines;
    for (const QString &mistake : StationSettings::read(folder).mistakes)
        lines << translateReason(mistake, kForms, "StationProblem");
    return lines.join(QLatin1Char('\n'));
}

QString stationProblemText(const QString &programProblem, const QString &folder)
{
    QStringList lines;
    if (!programProblem.isEmpty())
        lines << programProblem;
    const QString ini = stationIniProblemText(folder);
    if (!ini.isEmpty())
        lines << ini;
    return lines.join(QLatin1Char('\n'));
}

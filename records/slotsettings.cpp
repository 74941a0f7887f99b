#include "slotsettings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {

bool parseSlots(const QString &text, int *slotCount)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    if (!ok || n < 1 || n > SlotSettings::kMaxSlots)
        return false;
    *slotCount = n;
    return true;
}

} // namespace

SlotSettings SlotSettings::read(const QString &folder)
{
    const QString path = QDir(folder).filePath(QStringLiteral("station.ini"));
    if (!QFileInfo::exists(path))
        return SlotSettings();
    return read(QSettings(path, QSettings::IniFormat));
}

SlotSettings SlotSettings::read(const QSettings &ini)
{
    SlotSettings s;
    const QVariant slotsValue = ini.value(QStringLiteral("station/slots"));
    if (slotsValue.isValid() && !parseSlots(slotsValue.toString(), &s.slotCount))
        s.problems << QStringLiteral("station.ini: [station] slots=%1 is not a number from 1 to %2; one slot is used")
                        .arg(slotsValue.toString()).arg(kMaxSlots);
    const QString autostart = ini.value(QStringLiteral("station/autostart")).toString().trimmed().toLower();
    if (autostart == QLatin1String("true") || autostart == QLatin1String("1") || autostart == QLatin1String("yes"))
        s.autostart = true;
    else if (!autostart.isEmpty() && autostart != QLatin1String("false") && autostart != QLatin1String("0")
             && autostart != QLatin1String("no"))
        s.problems << QStringLiteral("station.ini: [station] autostart=%1 is not true or false; bands wait for a press")
                        .arg(autostart);
    return s;
}

bool SlotSettings::takeCommandLine(QStringList &arguments)
{
    const int at = arguments.indexOf(QStringLiteral("--slots"));
    if (at < 0)
        return true;
    const QString value = arguments.value(at + 1);
    arguments.remove(at, at + 1 < arguments.size() ? 2 : 1);
    if (!parseSlots(value, &slotCount)) {
        problems << QStringLiteral("--slots takes a number from 1 to %1").arg(kMaxSlots);
        return false;
    }
    return true;
}

bool SlotSettings::takeSimulate(QStringList &arguments, int *bands, QString *problem)
{
    *bands = 0;
    const int at = arguments.indexOf(QStringLiteral("--simulate"));
    if (at < 0)
        return true;
    *bands = 1;
    const QString next = arguments.value(at + 1);
    const bool counted = !next.isEmpty() && !next.startsWith(QLatin1Char('-'));
    arguments.remove(at, counted ? 2 : 1);
    if (counted && !parseSlots(next, bands)) {
        *problem = QStringLiteral("--simulate takes a number of bands from 1 to %1").arg(kMaxSlots);
        return false;
    }
    return true;
}

#include "banddate.h"

namespace {

QString twoDigits(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace

QString bandDate(quint8 day, quint8 month, quint8 year)
{
    return QStringLiteral("%1-%2-%3").arg(int(year) + 2000).arg(twoDigits(month + 1), twoDigits(day + 1));
}

QString bandDateTime(const sb_time_t &time)
{
    return QStringLiteral("%1 %2:%3:%4")
        .arg(bandDate(time.day, time.month, time.year), twoDigits(time.hour), twoDigits(time.minute),
             twoDigits(time.second));
}

// The band's dates as real dates: it stores day - 1, month - 1 and
// year - 2000.
#pragma once

#include <bandlink.h>

#include <QString>

// "2026-12-07" from the stored bytes.
QString bandDate(quint8 day, quint8 month, quint8 year);
// "2026-12-07 14:05:09".
QString bandDateTime(const sb_time_t &time);

// The band's readable items by name: one request each, as a result.
#pragma once

#include "result.h"

#include <QString>
#include <QStringList>

#include <optional>

class BandChannel;

// version, time, conf, led, alarm, stat, daydata, daystat.
QStringList readableItems();
bool isReadableItem(const QString &name);
// day: only for daystat, 0 to 6. nullopt when the band did not answer properly.
std::optional<Result> readItem(BandChannel &band, const QString &name, int day = 0,
                               const QString &kindKey = QStringLiteral("item"));

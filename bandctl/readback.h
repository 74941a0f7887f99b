// What the band kept after a write, field by field against what was sent:
// a band can accept a write and store something else, so `set` reads every
// write back before it reports success.
#pragma once

#include "storeddifferences.h"

#include <QJsonObject>

// sent and stored: the same item described both ways (bandrecords.h). The
// band's clock moves on by itself, so a "time" up to clockSlackSeconds after
// the one sent counts as kept.
QList<StoredDifference> storedDifferences(const QJsonObject &sent, const QJsonObject &stored,
                                          qint64 clockSlackSeconds);

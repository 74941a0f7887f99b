// What the band kept after a write, field by field against what was sent:
// a band can accept a write and store something else, so `set` reads every
// write back before it reports success.
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

struct StoredDifference {
    QString field;     // the JSON field, e.g. "weight" or "alarms[2].mode"
    QJsonValue sent;
    QJsonValue stored;
};

// sent and stored: the same item described both ways (bandrecords.h). The
// band's clock moves on by itself, so a "time" up to clockSlackSeconds after
// the one sent counts as kept.
QList<StoredDifference> storedDifferences(const QJsonObject &sent, const QJsonObject &stored,
                                          qint64 clockSlackSeconds);
// "weight (sent 70, stored 71), goal (sent 9000, stored 9001)".
QString describeDifferences(const QList<StoredDifference> &differences);
// [{"field", "sent", "stored"}, ...]
QJsonArray differencesJson(const QList<StoredDifference> &differences);

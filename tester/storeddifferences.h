// What the band kept after a write, field by field against what was sent:
// a band can accept a write and store something else.
#pragma once

#include "testdefinition.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

struct StoredDifference {
    QString field;     // e.g. "weight", "led1" or "alarms[2].mode"
    QJsonValue sent;
    QJsonValue stored;
};

// Every field of the record, the alarm entries' uninterpreted byte aside.
QList<StoredDifference> confDifferences(const sb_conf_t &sent, const sb_conf_t &stored);
QList<StoredDifference> ledDifferences(const sb_led_t &sent, const sb_led_t &stored);
QList<StoredDifference> alarmDifferences(const AlarmTable &sent, const AlarmTable &stored);
// Any item as named fields (bandctl's results), nested objects and arrays
// field by field. The band's clock moves on by itself, so a "time" up to
// clockSlackSeconds after the one sent counts as kept.
QList<StoredDifference> storedDifferences(const QJsonObject &sent, const QJsonObject &stored,
                                          qint64 clockSlackSeconds);

// "weight (sent 70, stored 71), goal (sent 9000, stored 9001)".
QString describeDifferences(const QList<StoredDifference> &differences);
// [{"field", "sent", "stored"}, ...]
QJsonArray differencesJson(const QList<StoredDifference> &differences);

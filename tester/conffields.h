// The wearer settings as named fields, in the band's order: the same names
// and values in bandctl's results and in the station's records.
#pragma once

#include <bandlink.h>

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

// weight, height, sex ("male" / "female"), age, goal.
QJsonObject confFields(const sb_conf_t &conf);
// Their names in the band's order (a JSON object keeps its keys sorted).
const QStringList &confFieldNames();
// led0, led1 as booleans.
QJsonObject ledFields(const sb_led_t &led);
// [{"entry", "hour", "minute", "mode"}, ...], one per alarm.
QJsonArray alarmEntries(const sb_alarm_t *alarms, int count);

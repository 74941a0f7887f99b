// The filters every page and API call takes (from, to, station, program,
// image, simulated), read from a request's parameters and checked: a bad
// value is refused with its name, never passed on.
#pragma once

#include "recordfilter.h"

#include <QHash>
#include <QJsonObject>
#include <QString>

using QueryParameters = QHash<QString, QString>;

// False with *error naming the parameter.
bool parseViewFilter(const QueryParameters &parameters, RecordFilter *filter, QString *error);

// Whether a run read back from the records passes the filter: the live feed
// judges each new run without asking the records again.
bool runPassesFilter(const RecordFilter &filter, const QJsonObject &run);

// An integer parameter within [low, high], fallback when absent.
bool integerParameter(const QueryParameters &parameters, const QString &name, qint64 low, qint64 high,
                      qint64 fallback, qint64 *value, QString *error);

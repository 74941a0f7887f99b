// The JSON API's answers, one function per endpoint, each read from the
// records through this thread's connection. Parameters arrive unchecked
// and are checked here; every value reaches SQL as a bound value.
#pragma once

#include "recordfilter.h"
#include "recordsource.h"
#include "viewfilter.h"
#include "viewoptions.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <functional>
#include <set>

struct ApiAnswer {
    int status = 200;
    QByteArray body;
    QByteArray contentType = "application/json";

    static ApiAnswer json(const QJsonObject &object);
    static ApiAnswer error(int status, const QString &message);
};

// The columns a run carries in the API, seq first.
extern const char *const kApiRunColumns;

class LineApi {
public:
    LineApi(const RecordSource &source, const ViewOptions &options);

    ApiAnswer filters() const;
    ApiAnswer stations(const QueryParameters &parameters) const;
    ApiAnswer yield(const QueryParameters &parameters) const;
    ApiAnswer pareto(const QueryParameters &parameters) const;
    ApiAnswer locations(const QueryParameters &parameters) const;
    ApiAnswer runs(const QueryParameters &parameters) const;
    ApiAnswer runsCsv(const QueryParameters &parameters) const;
    ApiAnswer unit(const QueryParameters &parameters) const;

    // The runs after seq that pass filter, oldest first, at most limit,
    // leaving out the seqs in seen.
    bool runsAfter(qint64 seq, const RecordFilter &filter, int limit, QList<QJsonObject> *runs, QString *error,
                   const std::set<qint64> &seen = {}) const;

    // The clock the cards and default ranges are read against.
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTimeUtc(); };

private:
    // Runs body with this thread's connection; a failure answers 503 and
    // the connection is opened anew next time.
    ApiAnswer withDatabase(const std::function<ApiAnswer(QSqlDatabase &, QString *)> &body) const;
    ApiAnswer withFilter(const QueryParameters &parameters, bool defaultRange,
                         const std::function<ApiAnswer(QSqlDatabase &, const RecordFilter &, QString *)> &body) const;

    const RecordSource &source;
    const ViewOptions &options;
};

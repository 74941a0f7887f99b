#include "recordcommands.h"

#include "connections.h"
#include "recordfilter.h"
#include "runlisting.h"
#include "runrecord.h"
#include "stationsettings.h"
#include "yieldreport.h"

#include <QCommandLineParser>
#include <QTextStream>

namespace {

constexpr int kReadTimeoutSeconds = 5;

const QCommandLineOption kSince(QStringLiteral("since"), QStringLiteral("Runs started at or after this UTC date or time."),
                                QStringLiteral("when"));
const QCommandLineOption kUntil(QStringLiteral("until"),
                                QStringLiteral("Runs started before this UTC time (a date includes that day)."),
                                QStringLiteral("when"));
const QCommandLineOption kStation(QStringLiteral("station"), QStringLiteral("Only this station."), QStringLiteral("name"));
const QCommandLineOption kProgram(QStringLiteral("program"), QStringLiteral("Only this program (tester, burner)."),
                                  QStringLiteral("name"));
const QCommandLineOption kOutcome(QStringLiteral("outcome"), QStringLiteral("Only pass, fail or interrupted."),
                                  QStringLiteral("outcome"));
const QCommandLineOption kLocal(QStringLiteral("local"), QStringLiteral("Read results.db even when station.ini names a server."));
const QCommandLineOption kJson(QStringLiteral("json"), QStringLiteral("One JSON object per line."));
const QCommandLineOption kCsv(QStringLiteral("csv"), QStringLiteral("Comma-separated values with a header line."));

// Parses the shared options; false with a message on err when they are wrong.
bool parseArguments(QCommandLineParser &parser, const QString &command, const QStringList &arguments,
                    RecordFilter *filter, QTextStream &err)
{
    parser.addOptions({kSince, kUntil, kStation, kProgram, kOutcome, kLocal, kJson});
    if (!parser.parse(QStringList{command} + arguments)) {
        err << command << ": " << parser.errorText() << '\n';
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        err << command << ": unexpected argument " << parser.positionalArguments().first() << '\n';
        return false;
    }
    if (parser.isSet(kSince) && !parseTimeBound(parser.value(kSince), false, &filter->since)) {
        err << command << ": --since wants yyyy-MM-dd or an ISO 8601 time, not " << parser.value(kSince) << '\n';
        return false;
    }
    if (parser.isSet(kUntil) && !parseTimeBound(parser.value(kUntil), true, &filter->until)) {
        err << command << ": --until wants yyyy-MM-dd or an ISO 8601 time, not " << parser.value(kUntil) << '\n';
        return false;
    }
    RunOutcome outcome;
    if (parser.isSet(kOutcome) && !outcomeFromName(parser.value(kOutcome), &outcome)) {
        err << command << ": --outcome is pass, fail or interrupted, not " << parser.value(kOutcome) << '\n';
        return false;
    }
    filter->station = parser.value(kStation);
    filter->program = parser.value(kProgram);
    filter->outcome = parser.value(kOutcome);
    return true;
}

// The shared server when station.ini names one and local is false, else results.db.
QSqlDatabase openForReading(const QString &name, bool local, QTextStream &err)
{
    const StationSettings station = StationSettings::read(QStringLiteral("."));
    if (!station.problem.isEmpty())
        err << station.problem << '\n';
    QString error;
    QSqlDatabase db = station.hasServer() && !local
        ? openServerDatabase(name, station.serverUrl, kReadTimeoutSeconds, &error)
        : openLocalDatabase(name, QStringLiteral("."), true, &error);
    if (!db.isOpen())
        err << error << '\n';
    return db;
}

// Runs body on an open database and closes it afterwards.
template <typename Body>
int withDatabase(bool local, QTextStream &err, Body body)
{
    const QString name = uniqueConnectionName(QStringLiteral("read"));
    int status = 1;
    {
        QSqlDatabase db = openForReading(name, local, err);
        if (db.isOpen())
            status = body(db);
    }
    closeConnection(name);
    return status;
}

} // namespace

int recordsCommand(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    QCommandLineParser parser;
    parser.addOption(kCsv);
    RecordFilter filter;
    if (!parseArguments(parser, QStringLiteral("records"), arguments, &filter, err))
        return 2;
    return withDatabase(parser.isSet(kLocal), err, [&](QSqlDatabase &db) {
        QList<QJsonObject> runs;
        QString error;
        if (!listRuns(db, filter, &runs, &error)) {
            err << error << '\n';
            return 1;
        }
        out << (parser.isSet(kJson) ? runsAsJsonLines(runs) : parser.isSet(kCsv) ? runsAsCsv(runs) : runsAsTable(runs));
        return 0;
    });
}

int yieldCommand(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    QCommandLineParser parser;
    RecordFilter filter;
    if (!parseArguments(parser, QStringLiteral("yield"), arguments, &filter, err))
        return 2;
    return withDatabase(parser.isSet(kLocal), err, [&](QSqlDatabase &db) {
        YieldReport report;
        QString error;
        if (!report.compute(db, filter, &error)) {
            err << error << '\n';
            return 1;
        }
        out << (parser.isSet(kJson) ? report.asJsonLines() : report.asText());
        return 0;
    });
}

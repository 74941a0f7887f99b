#include "runrecords.h"

#include "exitcodes.h"
#include "interrupt.h"
#include "output.h"
#include "result.h"
#include "stationsettings.h"
#include "subcommand.h"

#include <QFileInfo>
#include <QTextStream>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/sysmacros.h>
#endif

bool isPseudoTerminal(const QString &device)
{
    // A band that restarted at the end of its test has taken its terminal
    // with it: then its name still tells.
#ifdef _WIN32
    // On Windows the virtual band is a named pipe.
    return device.startsWith(QLatin1String("\\\\.\\pipe\\band-"));
#else
    const QString path = QFileInfo(device).canonicalFilePath();
    if (device.startsWith(QLatin1String("/dev/pts/")) || path.startsWith(QLatin1String("/dev/pts/")))
        return true;
    struct stat st {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    const unsigned int major = ::major(st.st_rdev);
    return major >= 136 && major <= 143; // the pseudo-terminal slaves' device numbers
#endif
}

int keepRecord(RecordStore &store, RunRecord &record, Result &result, int exitCode)
{
    if (isPseudoTerminal(result.json().value(QStringLiteral("device")).toString()))
        record.simulated = true;
    const RecordStore::Kept kept = store.keep(record);
    return noteRecord(store, kept, record, result, exitCode);
}

int noteRecord(const RecordStore &store, RecordStore::Kept kept, const RunRecord &record, Result &result,
               int exitCode)
{
    // Every field there, null when it does not apply.
    for (const char *key : {"record", "record_spooled", "record_problem", "station_problem"})
        result.addJsonOnly(QLatin1String(key), QJsonValue());
    if (!store.settings().problem.isEmpty())
        result.add(QStringLiteral("station_problem"), store.settings().problem);
    switch (kept) {
    case RecordStore::Kept::Stored:
        result.add(QStringLiteral("record"), record.id.toString(QUuid::WithoutBraces));
        return exitCode;
    case RecordStore::Kept::Spooled:
        result.add(QStringLiteral("record_spooled"), record.id.toString(QUuid::WithoutBraces));
        result.add(QStringLiteral("record_problem"), store.problem());
        return exitCode;
    case RecordStore::Kept::NotKept:
        break;
    }
    result.add(QStringLiteral("record_problem"), store.problem());
    return ExitRecordLost;
}

int refuseUnusableStation(Output &out, const QString &command)
{
    const StationSettings station = StationSettings::read(QStringLiteral("."));
    if (station.mistakes.isEmpty())
        return ExitOk;
    return out.fail(ExitBadFiles, QStringLiteral("cannot %1 on this station: %2").arg(command, station.problem),
                    {{QStringLiteral("station_problem"), station.problem}});
}

int runRecordCommand(RecordCommand command, CommandContext &context, const QStringList &valueOptions)
{
    QStringList arguments = context.arguments;
    if (const QString missing = missingValue(arguments, valueOptions); !missing.isEmpty())
        return context.out.fail(ExitUsage, missing);
    if (context.out.isJson())
        arguments << QStringLiteral("--json");
    QString text, messages;
    QTextStream out(&text), err(&messages);
    // Ctrl-C and SIGTERM end a wait for the server at once.
    const int status = command(arguments, out, err, &InterruptWatch::requested);
    out.flush();
    err.flush();
    context.out.printLines(text);
    if (status == 0 || status == kUnitUnknown) {
        if (!messages.isEmpty())
            context.out.progress(messages.trimmed());
        return status == 0 ? ExitOk : ExitBandFailed;
    }
    return context.out.fail(status == 2 ? ExitUsage : ExitNoRecords, messages.trimmed());
}

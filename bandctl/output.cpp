#include "output.h"

#include "result.h"

#include <QJsonDocument>

#include <cerrno>

#include <unistd.h>

Output::Output(int resultFd, bool json)
    : results(fdopen(resultFd, "w")), json(json)
{
    if (!results)
        results = stdout; // nothing was routed; stdout is still the real one
}

Output::~Output()
{
    if (results != stdout)
        std::fclose(results);
}

void Output::print(const Result &result)
{
    const QByteArray line = json ? QJsonDocument(result.json()).toJson(QJsonDocument::Compact)
                                 : result.text().toUtf8();
    std::fflush(stdout); // the trace of the exchange comes first
    const bool block = !json && line.contains('\n');
    if (block && blockBefore)
        std::fputc('\n', results);
    blockBefore = block;
    writeLine(line);
}

// Flushed at once; a failure other than a closed pipe means results were lost.
void Output::writeLine(const QByteArray &line)
{
    errno = 0;
    std::fprintf(results, "%s\n", line.constData());
    std::fflush(results);
    if (!std::ferror(results))
        return;
    gone = true;
    if (errno != EPIPE && lostErrno == 0)
        lostErrno = errno != 0 ? errno : EIO;
    std::clearerr(results);
}

void Output::printLines(const QString &lines)
{
    std::fputs(lines.toUtf8().constData(), results);
    std::fflush(results);
}

void Output::printText(const QString &text)
{
    if (json)
        return;
    writeLine(text.toUtf8());
}

int Output::fail(ExitCode code, const QString &message)
{
    return fail(code, message, QJsonObject());
}

int Output::fail(ExitCode code, const QString &message, const QJsonObject &details)
{
    std::fprintf(stderr, "bandctl: %s\n", message.toUtf8().constData());
    std::fflush(stderr);
    if (json) {
        QJsonObject error = details;
        error.insert(QStringLiteral("error"), message);
        error.insert(QStringLiteral("exit_code"), int(code));
        writeLine(QJsonDocument(error).toJson(QJsonDocument::Compact));
    }
    return code;
}

void Output::progress(const QString &message)
{
    if (json)
        return;
    std::fprintf(stderr, "%s\n", message.toUtf8().constData());
    std::fflush(stderr);
}

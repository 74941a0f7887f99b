#include "output.h"

#include "result.h"

#include <QJsonDocument>
#include <QJsonObject>

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
    std::fprintf(results, "%s\n", line.constData());
    if (std::fflush(results) != 0)
        gone = true;
}

void Output::printText(const QString &text)
{
    if (json)
        return;
    std::fprintf(results, "%s\n", text.toUtf8().constData());
    std::fflush(results);
}

int Output::fail(ExitCode code, const QString &message)
{
    std::fprintf(stderr, "bandctl: %s\n", message.toUtf8().constData());
    std::fflush(stderr);
    if (json) {
        QJsonObject error{{QStringLiteral("error"), message}, {QStringLiteral("exit_code"), int(code)}};
        std::fprintf(results, "%s\n", QJsonDocument(error).toJson(QJsonDocument::Compact).constData());
        std::fflush(results);
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

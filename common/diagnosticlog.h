#pragma once

#include <QString>

// While it lives, every diagnostic message (qDebug, qWarning, ...) is also
// appended to a file, one line each with the local time, and passed on to
// the handler before it. A GUI program on Windows has no console, so this is
// where its messages can be found. The file stays near maxBytes: once past
// it, it becomes PATH.1, replacing the one before. One at a time.
class DiagnosticLog
{
public:
    explicit DiagnosticLog(const QString &path, qint64 maxBytes = 1024 * 1024);
    ~DiagnosticLog();
    DiagnosticLog(const DiagnosticLog &) = delete;
    DiagnosticLog &operator=(const DiagnosticLog &) = delete;
};

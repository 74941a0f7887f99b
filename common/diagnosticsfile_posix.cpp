#include "diagnosticsfile.h"

std::unique_ptr<DiagnosticLog> keepDiagnosticsBesideRunLog(const QString &)
{
    return nullptr;
}

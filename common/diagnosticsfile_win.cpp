#include "diagnosticsfile.h"

std::unique_ptr<DiagnosticLog> keepDiagnosticsBesideRunLog(const QString &fileName)
{
    return std::make_unique<DiagnosticLog>(fileName);
}

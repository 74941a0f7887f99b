// Where a window's diagnostics can be found: a GUI program on Windows has no
// console, so there they go into a file beside run.log in the station
// folder; elsewhere the console has them and no file is kept.
#pragma once

#include "diagnosticlog.h"

#include <memory>

// Keep the result for as long as the diagnostics should go there; null
// where no file is kept.
std::unique_ptr<DiagnosticLog> keepDiagnosticsBesideRunLog(const QString &fileName);

#include "diagnosticsfile.h"
#include "filesizelimit.h"
#include "processend.h"
#include "startup.h"

#include <QApplication>

int main(int argc, char **argv)
{
    int exitCode = 0;
    {
        QApplication app(argc, argv);
        takeFileSizeLimitAsWriteError();
        const auto diagnostics = keepDiagnosticsBesideRunLog(QStringLiteral("tester.log"));
        exitCode = runTester(app, app.arguments());
    }
    return endProcess(exitCode);
}

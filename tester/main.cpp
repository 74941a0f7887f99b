#include "diagnosticlog.h"
#include "filesizelimit.h"
#include "startup.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    takeFileSizeLimitAsWriteError();
#ifdef Q_OS_WIN
    // No console on Windows: the diagnostics go into the station folder.
    const DiagnosticLog log(QStringLiteral("tester.log"));
#endif
    return runTester(app, app.arguments());
}

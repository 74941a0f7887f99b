#include "diagnosticlog.h"
#include "filesizelimit.h"
#include "startup.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    takeFileSizeLimitAsWriteError();
#ifdef Q_OS_WIN
    // No console on Windows: the diagnostics go beside run.log in the station folder.
    const DiagnosticLog log(QStringLiteral("burner.log"));
#endif
    return runBurner(app, QApplication::arguments());
}

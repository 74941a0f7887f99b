#include "diagnosticsfile.h"
#include "filesizelimit.h"
#include "startup.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    takeFileSizeLimitAsWriteError();
    const auto diagnostics = keepDiagnosticsBesideRunLog(QStringLiteral("burner.log"));
    return runBurner(app, QApplication::arguments());
}

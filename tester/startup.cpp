#include "startup.h"

#include "appsettings.h"
#include "boxplacement.h"
#include "mainwindow.h"
#include "simulatedband.h"
#include "translation.h"

#include <QApplication>
#include <QMessageBox>
#include <QTranslator>

#include <cstdio>
#include <memory>

namespace {

void printError(const QString &text)
{
    std::fprintf(stderr, "tester: %s\n", text.toLocal8Bit().constData());
}

} // namespace

int runTester(QApplication &app, const QStringList &arguments)
{
    bool simulate = false;
    for (const QString &argument : arguments.mid(1)) {
        if (argument == QLatin1StringView("--simulate")) {
            simulate = true;
        } else {
            printError(QStringLiteral("unknown option \"%1\"\nusage: tester [--simulate]").arg(argument));
            return 2;
        }
    }

    applyAppSettings();

    QTranslator translator;
    installTranslation(app, translator, QStringLiteral(":/translations"));

    // Declared before the window so that it outlives the window's watcher.
    std::unique_ptr<SimulatedBand> simulatedBand;
    if (simulate) {
        simulatedBand = std::make_unique<SimulatedBand>();
        if (!simulatedBand->plugIn()) {
            printError(QStringLiteral("cannot start the simulated band (no pseudo-terminal available)"));
            return 1;
        }
    }

    MainWindow window(simulatedBand.get());
    if (simulatedBand)
        window.markSimulated();
    centreOnScreen(&window);
    window.show();
    if (!window.init()) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("ERROR"),
                        QCoreApplication::translate("MainWindow", "无法打开或处理def.xml"),
                        QMessageBox::Ok | QMessageBox::Cancel, &window);
        box.setInformativeText(window.initFailure()); // what to fix, in the box itself
        box.setDefaultButton(QMessageBox::Cancel);
        placeOver(&box, &window);
        box.exec();
        return -1;
    }
    return app.exec();
}

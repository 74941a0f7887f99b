#include "startup.h"

#include "appsettings.h"
#include "boxplacement.h"
#include "defreasontext.h"
#include "mainwindow.h"
#include "multitestwindow.h"
#include "simulatedband.h"
#include "simulatedhub.h"
#include "slotsettings.h"
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

// def.xml cannot be used: what to fix, in the box itself, over the window.
void showDefinitionProblem(QWidget *window, const QString &reason)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("ERROR"),
                    QCoreApplication::translate("MainWindow", "无法打开或处理def.xml"),
                    QMessageBox::Ok | QMessageBox::Cancel, window);
    box.setInformativeText(operatorDefReason(reason));
    box.setDefaultButton(QMessageBox::Cancel);
    placeOver(&box, window);
    box.exec();
}

// The window with a panel per band; def.xml's problem shows as in the single window.
int runMultiTester(QApplication &app, const SlotSettings &settings, const PortSource *simulated)
{
    MultiTestWindow window(settings.slotCount, settings.autostart, simulated);
    if (simulated)
        window.markSimulated();
    window.adjustSize(); // centred at its full size, so that no panel starts off the screen
    centreOnScreen(&window);
    window.show();
    if (!window.init()) {
        showDefinitionProblem(&window, window.initFailure());
        return -1;
    }
    return app.exec();
}

} // namespace

int runTester(QApplication &app, const QStringList &arguments)
{
    QStringList options = arguments.mid(1);
    SlotSettings slotSettings = SlotSettings::read(QStringLiteral("."));
    if (!slotSettings.takeCommandLine(options)) {
        printError(slotSettings.problems.constLast());
        return 2;
    }
    for (const QString &problem : std::as_const(slotSettings.problems))
        printError(problem); // also in the window's problem strip
    int simulatedBands = 0;
    QString simulateProblem;
    if (!SlotSettings::takeSimulate(options, &simulatedBands, &simulateProblem)) {
        printError(simulateProblem);
        return 2;
    }
    if (!options.isEmpty()) {
        printError(QStringLiteral("unknown option \"%1\"\nusage: tester [--simulate [N]] [--slots N]").arg(options.first()));
        return 2;
    }

    applyAppSettings();

    QTranslator translator;
    installTranslation(app, translator, QStringLiteral(":/translations"));
    QTranslator qtTranslator;
    installQtTranslation(app, qtTranslator);

    // Declared before the window so that they outlive the window's watcher.
    std::unique_ptr<SimulatedHub> simulatedHub;
    if (slotSettings.slotCount > 1) {
        if (simulatedBands > 0) {
            simulatedHub = std::make_unique<SimulatedHub>(simulatedBands);
            if (!simulatedHub->plugIn()) {
                printError(QStringLiteral("cannot start the simulated bands (no pseudo-terminal available)"));
                return 1;
            }
        }
        return runMultiTester(app, slotSettings, simulatedHub.get());
    }
    std::unique_ptr<SimulatedBand> simulatedBand;
    if (simulatedBands > 0) {
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
        showDefinitionProblem(&window, window.initFailure());
        return -1;
    }
    return app.exec();
}

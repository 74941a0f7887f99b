#include "startup.h"

#include "appsettings.h"
#include "boxplacement.h"
#include "mainwindow.h"
#include "multiburnwindow.h"
#include "simulatedband.h"
#include "simulatedhotplugsource.h"
#include "simulatedhub.h"
#include "slotsettings.h"
#include "systemhotplug.h"
#include "translation.h"

#include <QApplication>
#include <QMessageBox>
#include <QTranslator>

#include <cstdio>
#include <memory>

namespace {

// The window with a panel per band.
int runMultiBurner(QApplication &app, const SlotSettings &settings, const PortSource *ports, HotplugSource *hotplug,
                   SimulatedHotplugSource *simulatedHotplug)
{
    MultiBurnWindow window(settings.slotCount, settings.autostart, ports, hotplug);
    if (simulatedHotplug) {
        window.setWindowTitle(SimulatedBand::windowTitleFor(window.windowTitle()));
        window.markSimulated();
    }
    if (!window.init()) {
        QMessageBox::critical(nullptr, MainWindow::tr("错误"), MainWindow::tr("无法监视USB设备，烧录工具不能运行."));
        return -1;
    }
    if (simulatedHotplug)
        simulatedHotplug->setFirmwareName(window.burnFileNames().binName);
    window.adjustSize();
    centreOnScreen(&window);
    window.show();
    return app.exec();
}

} // namespace

int runBurner(QApplication &app, const QStringList &arguments)
{
    QStringList rest = arguments.mid(1); // without the program's own name
    SlotSettings slotSettings = SlotSettings::read(QStringLiteral("."));
    if (!slotSettings.takeCommandLine(rest)) {
        std::fprintf(stderr, "burner: %s\nusage: burner [--simulate [N]] [--slots N]\n", qPrintable(slotSettings.problems.constLast()));
        return 2;
    }
    for (const QString &problem : std::as_const(slotSettings.problems))
        std::fprintf(stderr, "burner: %s\n", qPrintable(problem)); // also in the window's problem strip
    int simulatedBands = 0;
    QString simulateProblem;
    if (!SlotSettings::takeSimulate(rest, &simulatedBands, &simulateProblem)) {
        std::fprintf(stderr, "burner: %s\nusage: burner [--simulate [N]] [--slots N]\n", qPrintable(simulateProblem));
        return 2;
    }
    if (!rest.isEmpty()) {
        std::fprintf(stderr, "burner: unknown option \"%s\"\nusage: burner [--simulate [N]] [--slots N]\n",
                     qPrintable(rest.constFirst()));
        return 2;
    }
    const bool simulate = simulatedBands > 0;

    applyAppSettings();

    QTranslator translator;
    installTranslation(app, translator, QString());
    QTranslator qtTranslator;
    installQtTranslation(app, qtTranslator);

    std::unique_ptr<SimulatedBand> band;
    std::unique_ptr<SimulatedHub> hub;
    std::unique_ptr<HotplugSource> hotplug;
    SimulatedHotplugSource *simulatedHotplug = nullptr;
    if (simulate && slotSettings.slotCount > 1) {
        hub = std::make_unique<SimulatedHub>(simulatedBands, nullptr, true);
        if (!hub->plugIn())
            std::fprintf(stderr, "burner: the virtual bands could not be plugged in\n");
        auto source = std::make_unique<SimulatedHotplugSource>(hub->bands());
        simulatedHotplug = source.get();
        hotplug = std::move(source);
    } else if (simulate) {
        band = std::make_unique<SimulatedBand>(nullptr, true);
        if (!band->plugIn())
            std::fprintf(stderr, "burner: the virtual band could not be plugged in\n");
        auto source = std::make_unique<SimulatedHotplugSource>(band.get());
        simulatedHotplug = source.get();
        hotplug = std::move(source);
    } else {
        hotplug = createSystemHotplugSource();
    }

    if (slotSettings.slotCount > 1)
        return runMultiBurner(app, slotSettings, hub.get(), hotplug.get(), simulatedHotplug);

    // Declared after its inputs, so it goes first and they outlive it.
    MainWindow window(band.get(), hotplug.get());
    if (simulate) { // nobody must take a simulated session for a real burn
        window.setWindowTitle(SimulatedBand::windowTitleFor(window.windowTitle()));
        window.markSimulated();
    }
    if (!window.init()) {
        // Never silent: without the hot-plug watch no band's disk is ever seen.
        QMessageBox::critical(nullptr, MainWindow::tr("错误"),
                              MainWindow::tr("无法监视USB设备，烧录工具不能运行."));
        return -1;
    }
    if (simulatedHotplug)
        simulatedHotplug->setFirmwareName(window.burnFileNames().binName);

    centreOnScreen(&window);
    window.show();
    return app.exec();
}

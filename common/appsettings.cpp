#include "appsettings.h"

#include <QApplication>

void applyAppSettings()
{
    // By name: an unknown style leaves the default in force.
    QApplication::setStyle(QStringLiteral("Fusion"));
}

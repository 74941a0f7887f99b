#include "usblocation.h"

#include <QStringList>

bool isSameUsbLocation(const QString &bandLocation, const QString &location)
{
    return !bandLocation.isEmpty() && bandLocation == location;
}

QString usbLocationFromLocationPath(const QString &locationPath)
{
    QStringList controller;
    QStringList ports;
    bool underRoot = false;
    for (const QString &part : locationPath.split(QLatin1Char('#'))) {
        const qsizetype open = part.indexOf(QLatin1Char('('));
        if (open <= 0 || !part.endsWith(QLatin1Char(')')))
            return {};
        const QString kind = part.left(open).toUpper();
        const QString value = part.mid(open + 1, part.size() - open - 2);
        if (kind == QLatin1String("PCI") && !underRoot) {
            controller << value.toLower();
        } else if (kind == QLatin1String("USBROOT")) {
            underRoot = true;
        } else if (kind == QLatin1String("USB") && underRoot) {
            bool number = false;
            const int port = value.toInt(&number);
            if (!number || port < 0)
                return {};
            ports << QString::number(port);
        } else if (kind == QLatin1String("USBMI") && !ports.isEmpty()) {
            break; // an interface of the device whose place is already known
        } else if (kind != QLatin1String("PCIROOT") || underRoot) {
            return {};
        }
    }
    if (controller.isEmpty() || ports.isEmpty())
        return {};
    return controller.join(QLatin1Char(':')) + QLatin1Char('-') + ports.join(QLatin1Char('.'));
}

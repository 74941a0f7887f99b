#include "usblocation.h"

bool isSameUsbLocation(const QString &bandLocation, const QString &location)
{
    return !bandLocation.isEmpty() && bandLocation == location;
}

QList<int> matchDisksToBands(const QStringList &bandLocations, const QStringList &diskLocations)
{
    QList<int> matches;
    QList<bool> taken(diskLocations.size(), false);
    for (const QString &band : bandLocations) {
        int match = -1;
        for (int disk = 0; disk < diskLocations.size() && match < 0; ++disk) {
            if (!taken[disk] && isSameUsbLocation(band, diskLocations[disk]))
                match = disk;
        }
        if (match >= 0)
            taken[match] = true;
        matches.append(match);
    }
    return matches;
}

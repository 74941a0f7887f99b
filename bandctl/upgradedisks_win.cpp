#include "upgradedisks.h"

#include "volumeowner.h"
#include "winhotplugsource.h"

#include <windows.h>

// Drive letters whose disk hangs off a band in upgrade mode. A band whose
// disk has no letter yet is not listed: Windows gives no volume to name.
QList<UpgradeDisk> upgradeDisks(const QString & /*mountInfoPath: Linux only*/)
{
    const DeviceTree tree = DeviceTree::system();
    QList<UpgradeDisk> disks;
    const DWORD letters = GetLogicalDrives();
    for (int bit = 0; bit < 26; ++bit) {
        const QChar letter('A' + bit);
        if (!(letters & (DWORD(1) << bit)) || tree.isNetwork(letter))
            continue;
        const QString disk = tree.diskOf(letter);
        quint16 ids[2] = {0, 0};
        QString usb;
        if (!disk.isEmpty() && usbOwnerOf(disk, tree.parentOf, ids, &usb) && ids[0] == 0x0451
            && ids[1] == 0x16A8)
            // No USB location from the device tree yet: the owner's instance id
            // tells the band apart instead.
            disks.append({usb, QString(), disk, QString(letter) + QStringLiteral(":/")});
    }
    return disks;
}

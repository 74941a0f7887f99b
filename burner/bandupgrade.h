// Putting the band into upgrade mode over its serial port.
#pragma once

#include <QtGlobal>

enum class UpgradeResult {
    Sent,        // the band took the command and restarts as a disk
    OpenFailed,  // the port could not be opened
    NotAnswered, // the port opened but the band did not take the command
};

// Opens port, sends the upgrade command and closes the port again.
UpgradeResult upgradeBand(quint8 port);

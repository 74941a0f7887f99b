// The band over its serial port, as the burner's cycle needs it: putting it
// into upgrade mode, and reading which firmware it runs.
#pragma once

#include <QString>

class BandChannel;
#include <QtGlobal>

enum class UpgradeResult {
    Sent,        // the band took the command and restarts as a disk
    OpenFailed,  // the port could not be opened
    NotAnswered, // the port opened but the band did not take the command
};

// What the band says it is: firmware version "a.b.c.d" and Bluetooth
// address "aa:bb:cc:dd:ee:ff".
struct BandIdentity {
    QString version;
    QString bluetooth;
};

// Opens the band, reads its identity into *before when given (left empty
// when the band does not tell it), sends the upgrade command and closes the
// band again.
UpgradeResult upgradeBand(BandChannel &band, BandIdentity *before = nullptr);

// Opens the band, reads its identity and closes it; false when it cannot be
// opened or does not answer.
bool readBandIdentity(BandChannel &band, BandIdentity *identity);

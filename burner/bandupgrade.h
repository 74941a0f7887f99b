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

// Opens port, reads the band's identity into *before when given (left empty
// when the band does not tell it), sends the upgrade command and closes the
// port again.
UpgradeResult upgradeBand(quint8 port, BandIdentity *before = nullptr);
UpgradeResult upgradeBand(BandChannel &band, BandIdentity *before = nullptr);

// Opens port, reads the band's identity and closes the port; false when the
// port cannot be opened or the band does not answer.
bool readBandIdentity(quint8 port, BandIdentity *identity);
bool readBandIdentity(BandChannel &band, BandIdentity *identity);

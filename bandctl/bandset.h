// The bands an --all command runs on: every --device given, every band port
// the system shows (or those at the --usb-path locations given), or the bands
// of --simulate N, each with its device path and USB location.
#pragma once

#include "commandline.h"
#include "portsource.h"

#include <QList>
#include <QString>

#include <memory>

class Output;
class SimulatedHub;

struct AttachedBand {
    QString device;   // what a link opens: /dev/ttyACMn, a --device path, a virtual band's terminal
    QString usbPath;  // where it is plugged in; empty when unknown
    int port = -1;    // its port number (ttyACMn, or a virtual band's); -1 for a --device path
    // "1-1.3 /dev/ttyACM0", or the device alone when its place is unknown.
    QString label() const;
};

class BandSet {
public:
    BandSet();
    ~BandSet();

    // Finds the bands; returns an exit code, the failure already reported.
    int find(const BandChoice &choice, Output &out, const QString &command);

    const QList<AttachedBand> &bands() const { return found; }
    // Where the bands' ports come and go: the system's, or the virtual hub.
    const PortSource &ports() const;
    // The virtual hub of --simulate N; null otherwise.
    SimulatedHub *simulated() const { return hub.get(); }
    // The device a link opens for port number `port` now (a virtual band's
    // terminal changes when it comes back).
    QString deviceOfPort(int port) const;

private:
    std::unique_ptr<SimulatedHub> hub;
    SystemPortSource system;
    QList<AttachedBand> found;
};

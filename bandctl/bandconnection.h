// Finds the band the command line chose and opens a link of its own to it
// on its device path; closes the link when it goes. Every subcommand that
// talks to a band uses one.
#pragma once

#include "commandline.h"

#include <QString>

#include <memory>

class BandChannel;
class LinkChannel;
class Output;
class SimulatedBand;

class BandConnection {
public:
    explicit BandConnection(const BandChoice &choice);
    ~BandConnection(); // closes the link
    BandConnection(const BandConnection &) = delete;
    BandConnection &operator=(const BandConnection &) = delete;

    // Finds the band and opens the link. On failure it has said why and
    // returns the exit code; ExitOk when the link is open.
    int open(Output &out);
    // The band, once open() succeeded.
    BandChannel &channel() const;
    // Finds the band without opening it (for commands that wait for it).
    int locate(Output &out);

    // The end of a command the band did not answer properly: says whether
    // the band went away or answered wrongly, and returns ExitBandFailed.
    int failed(Output &out, const QString &what) const;
    // The band's device node has gone (unplugged, restarted).
    bool isGone() const;

    // The band's port number, for messages that name it (201 for a --device path).
    quint8 port() const { return portNumber; }
    QString devicePath() const { return device; }
    // Where the band is plugged in; empty when unknown (a --device path, a
    // virtual band, a system that does not tell).
    QString usbLocation() const { return location; }
    // The in-process virtual band of --simulate; null otherwise.
    SimulatedBand *simulated() const { return simulatedBand.get(); }

private:
    static constexpr int kNoSlot = -1;
    static constexpr int kBadUsage = -2;
    // The slot of --simulate's hub the command chose; kNoSlot or kBadUsage
    // when none, having said why.
    int simulatedSlot(Output &out) const;

    BandChoice choice;
    std::unique_ptr<SimulatedBand> simulatedBand;
    quint8 portNumber = 0;
    QString device;
    QString location;
    bool located = false;
    // Closed before the virtual band it may lead to goes.
    std::unique_ptr<LinkChannel> link;
};

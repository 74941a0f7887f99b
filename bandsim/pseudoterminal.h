// The band's end of the cable: a pseudo-terminal whose slave side the
// client opens as a serial port.
#pragma once

#include <string>

namespace bandsim {

struct PseudoTerminal {
    int master = -1; // non-blocking
    // Held open by the band (never read) so the master does not see a
    // hang-up while no client has the port open.
    int slave = -1;
    std::string slavePath;
};

// Raw mode on both sides: nothing echoed or translated. False (with
// nothing left open) on failure.
bool openPseudoTerminal(PseudoTerminal &pty);
void closePseudoTerminal(PseudoTerminal &pty);

// Bytes written by the band that the client has not read yet.
int bytesWaitingForClient(const PseudoTerminal &pty);

// An eventfd that wakes the band's thread.
int openWakeUp();
void signalWakeUp(int fd);
void drainWakeUp(int fd);
void closeFd(int &fd);

} // namespace bandsim

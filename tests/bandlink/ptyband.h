// The far end of a pseudo-terminal, played by a test in place of the band;
// the library's port kPort is bound to the near end.
#pragma once

#include <QByteArray>

#include <cstdint>

constexpr uint8_t kPort = 42;

struct PtyBand {
    PtyBand();
    ~PtyBand(); // closes the link and the port too
    void send(const QByteArray &bytes) const;
    // What the library has sent, once nothing more comes for a moment.
    QByteArray received() const;
    void unplug();

    int master = -1;
    char path[128] = {};
};

// A band frame on the wire, check byte included.
QByteArray bandFrame(uint8_t opcode, uint8_t item, const QByteArray &payload = {}, uint8_t uuidHigh = 0xFF);
QByteArray counting(int n, uint8_t first = 1);

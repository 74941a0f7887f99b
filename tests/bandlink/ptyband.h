// The far end of a pseudo-terminal, played by a test in place of the band;
// the library's port kPort is bound to the near end.
#pragma once

#include <QByteArray>
#include <QList>

#include <chrono>
#include <cstdint>
#include <thread>

constexpr uint8_t kPort = 42;

struct PtyBand {
    PtyBand();
    ~PtyBand(); // closes the link and the port too
    void send(const QByteArray &bytes) const;
    // One whole command frame, as the band reads it; empty when none
    // comes within maxMs or the port has gone.
    QByteArray readCommand(int maxMs = 2000);
    // Plays the band on a thread of its own: each reply goes out only once
    // the next command has arrived whole ({} stays silent).
    void answer(const QList<QByteArray> &replies);
    // What the library has sent (the commands the band read included),
    // once nothing more comes for a moment.
    QByteArray received();
    void unplug();

    int master = -1;
    char path[128] = {};
    QByteArray heard;
    std::thread player;
    std::chrono::steady_clock::time_point unpluggedAt;
};

// A band frame on the wire, check byte included.
QByteArray bandFrame(uint8_t opcode, uint8_t item, const QByteArray &payload = {}, uint8_t uuidHigh = 0xFF);
QByteArray counting(int n, uint8_t first = 1);

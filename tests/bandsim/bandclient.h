// The PC's end of the cable for the tests: plain POSIX I/O on the slave
// device and a tiny frame writer and reader.
#pragma once

#include <QByteArray>

#include <string>

QByteArray commandFrame(quint8 opcode, quint8 item, const QByteArray &payload = {});
bool hasValidCheckByte(const QByteArray &frame);

class BandClient {
public:
    explicit BandClient(const std::string &path);
    ~BandClient();
    BandClient(const BandClient &) = delete;
    BandClient &operator=(const BandClient &) = delete;

    bool isOpen() const { return fd >= 0; }
    bool send(const QByteArray &bytes);

    // Everything that arrives until nothing has come for quietMs (or
    // maxMs in all, or a hang-up).
    QByteArray readUntilQuiet(int quietMs, int maxMs = 5000);
    // What is there now, waiting at most maxMs for the first byte.
    QByteArray readSome(int maxMs);
    // The next band frame (bytes before 0xAA skipped); empty on time-out or hang-up.
    QByteArray readFrame(int maxMs = 3000);
    // True once the band has dropped off (hang-up, EIO or end of file).
    bool waitForHangUp(int maxMs = 3000);
    bool hungUp() const { return sawHangUp; }

private:
    bool fill(int maxMs);

    int fd = -1;
    QByteArray pending;
    bool sawHangUp = false;
};

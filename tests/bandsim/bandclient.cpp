#include "bandclient.h"

#include <QElapsedTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

QByteArray commandFrame(quint8 opcode, quint8 item, const QByteArray &payload)
{
    QByteArray frame;
    frame.append(char(0xAA)).append(char(opcode)).append(char(item)).append(char(0xFF));
    quint8 bcc = quint8(payload.size());
    for (char byte : payload)
        bcc ^= quint8(byte);
    frame.append(char(bcc)).append(char(payload.size())).append(payload);
    return frame;
}

bool hasValidCheckByte(const QByteArray &frame)
{
    if (frame.size() < 6 || frame.size() != 6 + quint8(frame[5]))
        return false;
    quint8 bcc = 0;
    for (int i = 5; i < frame.size(); ++i)
        bcc ^= quint8(frame[i]);
    return bcc == quint8(frame[4]);
}

BandClient::BandClient(const std::string &path)
    : fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
{
}

BandClient::~BandClient()
{
    if (fd >= 0)
        close(fd);
}

bool BandClient::send(const QByteArray &bytes)
{
    return write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
}

bool BandClient::fill(int maxMs)
{
    if (sawHangUp)
        return false;
    pollfd event{fd, POLLIN, 0};
    if (poll(&event, 1, maxMs) <= 0)
        return false;
    char buffer[4096];
    const ssize_t count = read(fd, buffer, sizeof buffer);
    if (count > 0) {
        pending.append(buffer, int(count));
        return true;
    }
    if (count < 0 && errno == EAGAIN)
        return true;
    sawHangUp = true; // end of file, EIO: the band has dropped off
    return false;
}

QByteArray BandClient::readUntilQuiet(int quietMs, int maxMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < maxMs && fill(quietMs)) {
    }
    QByteArray all = pending;
    pending.clear();
    return all;
}

QByteArray BandClient::readSome(int maxMs)
{
    if (pending.isEmpty())
        fill(maxMs);
    QByteArray some = pending;
    pending.clear();
    return some;
}

QByteArray BandClient::readFrame(int maxMs)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        const int start = pending.indexOf(char(0xAA));
        pending.remove(0, start < 0 ? pending.size() : start);
        if (pending.size() >= 6 && pending.size() >= 6 + quint8(pending[5])) {
            const QByteArray frame = pending.left(6 + quint8(pending[5]));
            pending.remove(0, frame.size());
            return frame;
        }
        const int left = maxMs - int(timer.elapsed());
        if (left <= 0 || !fill(left))
            return {};
    }
}

bool BandClient::waitForHangUp(int maxMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!sawHangUp && timer.elapsed() < maxMs) {
        pending.clear();
        fill(50);
    }
    return sawHangUp;
}

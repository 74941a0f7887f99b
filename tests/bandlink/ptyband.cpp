#include "ptyband.h"

#include <bandlink.h>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

PtyBand::PtyBand()
{
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    const char *name = master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0 ? ptsname(master) : nullptr;
    if (name == nullptr || strlen(name) >= sizeof path) {
        unplug();
        return;
    }
    strcpy(path, name);
    uart_bind_device_path(kPort, path);
}

PtyBand::~PtyBand()
{
    if (player.joinable())
        player.join();
    sb_exit();
    uart_close();
    uart_bind_device_path(kPort, nullptr);
    unplug();
}

void PtyBand::send(const QByteArray &bytes) const
{
    for (qsizetype done = 0, w = 0; done < bytes.size(); done += w) {
        if ((w = write(master, bytes.constData() + done, size_t(bytes.size() - done))) <= 0)
            return;
    }
}

// Reads exactly n more bytes into heard.
static bool readExactly(int fd, int n, int maxMs, QByteArray &heard)
{
    char buf[256];
    pollfd p{fd, POLLIN, 0};
    for (ssize_t r = 0; n > 0; n -= int(r), heard.append(buf, r)) {
        if (poll(&p, 1, maxMs) <= 0 || (r = read(fd, buf, size_t(n))) <= 0)
            return false;
    }
    return true;
}

QByteArray PtyBand::readCommand(int maxMs)
{
    const qsizetype start = heard.size();
    if (!readExactly(master, SB_HEAD_SIZE, maxMs, heard)
        || !readExactly(master, uint8_t(heard[start + 5]), maxMs, heard))
        return {};
    return heard.mid(start);
}

void PtyBand::answer(const QList<QByteArray> &replies)
{
    if (player.joinable())
        player.join();
    player = std::thread([this, replies] {
        for (const QByteArray &reply : replies) {
            if (readCommand().isEmpty())
                return;
            send(reply);
        }
    });
}

QByteArray PtyBand::received()
{
    if (player.joinable())
        player.join();
    QByteArray got = heard;
    heard.clear();
    char buf[512];
    pollfd p{master, POLLIN, 0};
    for (ssize_t r; poll(&p, 1, 200) > 0 && (r = read(master, buf, sizeof buf)) > 0;)
        got.append(buf, r);
    return got;
}

void PtyBand::unplug()
{
    if (master >= 0)
        close(master);
    master = -1;
    unpluggedAt = std::chrono::steady_clock::now();
}

QByteArray bandFrame(uint8_t opcode, uint8_t item, const QByteArray &payload, uint8_t uuidHigh)
{
    uint8_t check = uint8_t(payload.size());
    for (char byte : payload)
        check ^= uint8_t(byte);
    const char head[] = {char(SB_HEADER), char(opcode), char(item), char(uuidHigh), char(check), char(payload.size())};
    return QByteArray(head, sizeof head) + payload;
}

QByteArray counting(int n, uint8_t first)
{
    QByteArray bytes;
    for (int i = 0; i < n; ++i)
        bytes.append(char(uint8_t(first + i)));
    return bytes;
}

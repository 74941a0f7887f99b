// The serial port: the settings it takes and refuses, exclusive use, and
// raw, bounded transfers.
#include "ptyband.h"

#include <bandlink.h>

#include <QtTest>

#include <dlfcn.h>
#include <fcntl.h>
#include <numeric>
#include <sys/file.h>
#include <thread>
#include <termios.h>
#include <unistd.h>

// A pseudo-terminal holds only 8 data bits without parity, so the framing
// the library asks for is caught here, and the terminal gets what it holds.
static termios g_asked;
static int g_writes = 0;

extern "C" int tcsetattr(int fd, int action, const termios *t)
{
    static const auto real = reinterpret_cast<int (*)(int, int, const termios *)>(dlsym(RTLD_NEXT, "tcsetattr"));
    g_asked = *t;
    ++g_writes;
    termios held = *t;
    held.c_cflag = (held.c_cflag & ~tcflag_t(CSIZE | PARENB)) | CS8;
    return real(fd, action, &held);
}

static speed_t speedOf(const PtyBand &band) // the master reports the slave's settings
{
    termios t{};
    tcgetattr(band.master, &t);
    return cfgetispeed(&t) == cfgetospeed(&t) ? cfgetospeed(&t) : B0;
}

static bool othersCanTake(const char *path)
{
    const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const bool taken = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
    close(fd);
    return taken;
}

class SerialTest : public QObject {
    Q_OBJECT
private slots:
    void settings()
    {
        PtyBand band;
        QVERIFY(uart_open(kPort));
        const QList<QPair<int, speed_t>> speeds = {{115200, B115200}, {57600, B57600}, {38400, B38400},
            {19200, B19200}, {9600, B9600}, {4800, B4800}, {2400, B2400}, {1200, B1200}, {600, B600}, {300, B300}};
        for (const auto &s : speeds)
            QVERIFY2(uart_setSpeed(s.first) && speedOf(band) == s.second, qPrintable(QString::number(s.first)));
        for (int rate : {14400, 110, 0, -1})
            QVERIFY(!uart_setSpeed(rate) && speedOf(band) == B300);

        struct Framing { int bits, stop; char parity; uint expected; } const framings[] = {
            {8, 1, 'N', CS8}, {8, 1, 'n', CS8}, {8, 0, 'N', CS8 | CSTOPB}, {8, 2, 'N', CS8 | CSTOPB},
            {5, 1, 'E', CS5 | PARENB}, {6, 1, 'e', CS6 | PARENB}, {7, 1, 'O', CS7 | PARENB | PARODD},
            {8, 2, 'o', CS8 | PARENB | PARODD | CSTOPB}, {9, 1, 'N', 0}, {4, 1, 'N', 0}, {8, 1, 'M', 0}, {8, 1, 'S', 0}};
        const uint before = CS7 | PARENB | CSTOPB;
        for (const Framing &f : framings) {
            QVERIFY(uart_setProperty(7, 2, 'E'));
            const int writes = g_writes;
            const QByteArray what = QByteArray::number(f.bits) + f.parity + QByteArray::number(f.stop);
            QVERIFY2(uart_setProperty(f.bits, f.stop, f.parity) == (f.expected != 0), what);
            QVERIFY2(g_writes == writes + (f.expected ? 1 : 0), what); // nothing written when refused
            QCOMPARE(g_asked.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB), f.expected ? f.expected : before);
        }
        QCOMPARE(speedOf(band), B300);
        QCOMPARE(g_asked.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), tcflag_t(0)); // still raw

        QVERIFY(!uart_set(9600, 8, 1, 'X')); // the speed set first stays
        QCOMPARE(speedOf(band), B9600);
        uart_close();
        uint8_t buf[4] = {1, 2, 3, 4};
        const int writes = g_writes;
        QVERIFY(!uart_setSpeed(115200) && !uart_setProperty(8, 1, 'N') && !uart_set(115200, 8, 1, 'N'));
        QCOMPARE(uart_send(buf, 4) + uart_recv(buf, 4), 0);
        QCOMPARE(g_writes, writes);
        QVERIFY(band.received().isEmpty());
    }

    void exclusiveOpenAndReopen()
    {
        PtyBand band;
        uart_close();
        QVERIFY(uart_open(kPort) && uart_open(kPort)); // reopening while open
        QVERIFY(!othersCanTake(band.path));
        uart_close();
        uart_close();
        QVERIFY(othersCanTake(band.path)); // no handle left behind
        const int other = open(band.path, O_RDWR | O_NOCTTY | O_CLOEXEC);
        QCOMPARE(flock(other, LOCK_EX | LOCK_NB), 0);
        QVERIFY(!uart_open(kPort)); // someone else holds it
        close(other);
        QVERIFY(uart_open(kPort));

        QVERIFY(!uart_bind_device_path(kPort, QByteArray(300, 'x').constData()));
        QVERIFY(uart_bind_device_path(kPort, "/dev/no-such-band-port"));
        QVERIFY(!uart_open(kPort));
        QVERIFY(!uart_setSpeed(9600)); // a failed open leaves the library closed
        QVERIFY(othersCanTake(band.path)); // and the old port released
        QVERIFY(uart_bind_device_path(kPort, nullptr));
        QVERIFY(!uart_open(kPort)); // /dev/ttyACM42 is not there
    }

    void rawAndBoundedTransfers()
    {
        PtyBand band;
        QVERIFY(uart_open(kPort));
        QByteArray all(256, 0);
        std::iota(all.begin(), all.end(), 0);
        const auto bytes = reinterpret_cast<uint8_t *>(all.data());
        QCOMPARE(uart_send(bytes, 256), 256);
        QCOMPARE(band.received(), all);
        band.send(all);
        all.fill(9);
        QCOMPARE(uart_recv(bytes, 256), 256);
        QCOMPARE(all, counting(255, 1).prepend('\0'));

        all.fill(9);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(uart_recv(bytes, 5), 0); // nothing comes, for 150 ms
        QVERIFY2(timer.elapsed() >= 140 && timer.elapsed() < 450, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(uart_recv(bytes, 0) + uart_recv(bytes, -3) + uart_recv(nullptr, 5) + uart_send(nullptr, 5), 0);
        band.send("\x01\x02");
        QCOMPARE(uart_recv(bytes, 5), 2);
        QCOMPARE(all.left(3), QByteArray("\x01\x02\x09"));
        band.unplug();
        QCOMPARE(uart_recv(bytes, 5), 0); // the far end has gone
    }

    // A write stuck behind a far end that reads nothing ends when it goes,
    // long before its 2.1 s deadline.
    void unplugEndsABlockedWrite()
    {
        PtyBand band;
        QVERIFY(uart_open(kPort));
        QByteArray lots(200000, 'x');
        std::thread far([&] { QThread::msleep(200); band.unplug(); });
        const int32_t sent = uart_send(reinterpret_cast<uint8_t *>(lots.data()), int32_t(lots.size()));
        const auto returned = std::chrono::steady_clock::now();
        far.join();
        const auto late = returned - band.unpluggedAt;
        QVERIFY(sent > 0 && sent < lots.size());
        QVERIFY2(late < std::chrono::milliseconds(250), qPrintable(QString::number(late.count() / 1000000)));
    }
};

QTEST_GUILESS_MAIN(SerialTest)
#include "tst_serial.moc"

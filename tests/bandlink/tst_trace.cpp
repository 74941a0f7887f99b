// The protocol trace, compared whole with the text people and scripts read.
#include "ptyband.h"

#include <bandlink.h>

#include <QtTest>

#include <unistd.h>

namespace {

QByteArray printed(bool command, const QByteArray &wire)
{
    sb_cmd_t frame{};
    memcpy(&frame, wire.constData(), size_t(wire.size()));
    QTemporaryFile file;
    if (!file.open())
        return "cannot capture";
    fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    dup2(file.handle(), STDOUT_FILENO);
    command ? sb_dbg_cmd(&frame) : sb_dbg_evt(&frame);
    fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    file.seek(0);
    return file.readAll();
}

QByteArray head(bool command, const QByteArray &wire)
{
    return QString::asprintf("[PC]  %s  [USB]\n\tHeader: 0xaa\n\tOpcode: 0x%02x\t(%s)\n\tBcc:    0x%02x\n\tLen:    %d\n",
                             command ? "---->" : "<----", uint8_t(wire[1]), wire[1] & 1 ? "Write" : "Read",
                             uint8_t(wire[4]), uint8_t(wire[5])).toLatin1();
}

QByteArray alarmLines(const char *first, const char *others)
{
    QByteArray lines = QByteArray("\t[0]\t") + first;
    for (int i = 1; i < 8; ++i)
        lines += "\t[" + QByteArray::number(i) + "]\t" + others;
    return lines;
}

} // namespace

class TraceTest : public QObject {
    Q_OBJECT
private slots:
    void printsWholeBlock_data();
    void printsWholeBlock() {
        QFETCH(bool, command);
        QFETCH(QByteArray, wire);
        QFETCH(QByteArray, expected);
        QCOMPARE(printed(command, wire), expected);
    }
};

void TraceTest::printsWholeBlock_data()
{
    QTest::addColumn<bool>("command");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QByteArray>("expected");
    auto add = [](const QByteArray &name, bool command, const QByteArray &wire, const QByteArray &body) {
        QTest::newRow(name.constData()) << command << wire << head(command, wire) + body + "\n";
    };
    auto uuid = [](uint8_t item, const char *name) {
        return QString::asprintf("\tUUID:   0xff%02x ( %s )\n", item, name).toLatin1();
    };
    const QByteArray alarms = QByteArray::fromHex("7F050700") + QByteArray(28, 0);

    // Once literally whole; the other rows build the head lines.
    QTest::newRow("time command") << true << QByteArray::fromHex("AA8105FF3A061E2D0C0E020F")
        << QByteArray("[PC]  ---->  [USB]\n\tHeader: 0xaa\n\tOpcode: 0x81\t(Write)\n\tBcc:    0x3a\n\tLen:    6\n"
                      "\tUUID:   0xff05 ( time )\n\t[0]\t<y:2015, m: 2, d:14, h:12, m:45, s:30>\n\n");
    add("alarm command", true, bandFrame(0x81, 0x01, alarms), uuid(0x01, "alarm clock conf")
        + alarmLines("<minute: 5, hour: 7, mode:7f>\n", "<minute: 0, hour: 0, mode:00>\n"));
    add("conf command", true, bandFrame(0x81, 0x02, QByteArray::fromHex("3CAA0119401F")),
        uuid(0x02, "pedometer conf") + "\t<weight: 60, height:170, sex:female, age:25, goal: 8000>\n");
    add("led command", true, bandFrame(0x81, 0x04, QByteArray::fromHex("0100")),
        uuid(0x04, "led conf") + "\t[0]\t<enabled: TRUE>\n\t[1]\t<enabled:FALSE>\n");
    add("index command", true, bandFrame(0x81, 0x09, QByteArray::fromHex("010700")),
        uuid(0x09, "pedometer index") + "\t<1,   7 >\n");
    add("upgrade command", true, bandFrame(0x81, 0xFE), "");
    const QList<QPair<int, const char *>> writes = {
        {0xFA, "Turn on uploading data"}, {0xFB, "Turn off uploading data"}, {0xFD, "Reset"}};
    for (const auto &w : writes)
        add("command " + QByteArray::number(w.first, 16), true, bandFrame(0x81, w.first), uuid(w.first, w.second));
    const QList<QPair<int, const char *>> reads = {
        {0x01, "alarm clock"}, {0x02, "pedometer conf"}, {0x03, "pedometer statistics"}, {0x04, "led conf"},
        {0x05, "pedometer time"}, {0x07, "pedometer day-data"}, {0x09, "pedometer index"},
        {0x10, "pedometer day-stat"}, {0x16, "pedometer day-stat"}, {0xFF, "version"}, {0x06, nullptr}, {0x17, nullptr}};
    for (const auto &r : reads)
        add("read " + QByteArray::number(r.first, 16), true, bandFrame(0x80, r.first), r.second ? uuid(r.first, r.second) : "");

    const QList<QPair<int, const char *>> replies = {
        {0x01, "Write Alarm Clock"}, {0x02, "Write PedoMeter Conf"}, {0x04, "Write Led Conf"},
        {0x05, "Write PedoMeter Time"}, {0x09, "Write PedoMeter Index"}, {0xFA, "Turn on Uploading"},
        {0xFB, "Turn off Uploading"}, {0x03, nullptr}};
    for (const auto &r : replies)
        add("write reply " + QByteArray::number(r.first, 16), false, bandFrame(0x01, r.first, "\x05"),
            (r.second ? uuid(r.first, r.second) : "") + "\tResult:  [OK]\n");
    add("write refused", false, QByteArray::fromHex("AA0105FF010100"),
        uuid(0x05, "Write PedoMeter Time") + "\tResult:  [ERROR]\n");

    add("alarms", false, bandFrame(0x00, 0x01, alarms), uuid(0x01, "alarm clock")
        + alarmLines("<minute:05, hour:07, mode:7f>\n", "<minute:00, hour:00, mode:00>\n"));
    add("conf", false, bandFrame(0x00, 0x02, QByteArray::fromHex("3CAA00192003")),
        uuid(0x02, "pedometer conf") + "\t<weight:060, height:170, sex:male, age:25, goal:00800>\n");
    add("stat", false, bandFrame(0x00, 0x03, QByteArray::fromHex("0005090E020F00D204370259")),
        uuid(0x03, "pedometer statistics") + "\t<y:2015, m: 3, d:15, h: 9, m: 5>\n"
        "\t<steps:1234, distance: 567, calorie:  89>\n");
    add("led", false, bandFrame(0x00, 0x04, QByteArray::fromHex("0002")),
        uuid(0x04, "led conf") + "\t[0]\t<enabled:FALSE>\n\t[1]\t<enabled: TRUE>\n");
    add("time", false, bandFrame(0x00, 0x05, QByteArray::fromHex("1E2D0C0E020F")),
        uuid(0x05, "pedometer time") + "\t<y:2015, m: 2, d:14, h:12, m:45, s:30>\n");
    add("day data", false, bandFrame(0x00, 0x07, QByteArray::fromHex("00000B18A086010070110100B80B0000")),
        uuid(0x07, "pedometer day-data") + "\t<y:2024, m:12, d: 1>\n\t<steps:100000, distance:70000, calorie:3000>\n");
    add("min stat", false, bandFrame(0x00, 0x09, QByteArray::fromHex("001E0804051700FA00B4000C6D01F503")),
        uuid(0x09, "pedometer min-stat") + "\t<y:2023, m: 6, d: 5 --- h: 8, M:30>\n"
        "\t<steps:250, distance:180, calorie:12, temperature:36.5, pressure:1013 >\n");
    add("day stat 3", false, bandFrame(0x00, 0x13, QByteArray::fromHex("3A090019A08601FF452301FFF4012A00")),
        uuid(0x13, "pedometer day-stat") + "\t flag:Ok---<y:2025, m: 1, d:10>\n"
        "\t<steps:100000, distance:74565, calorie:500, count:42>\n");
    add("day stat invalid", false, bandFrame(0x00, 0x10, QByteArray(16, 0)), uuid(0x10, "pedometer day-stat")
        + "\t flag:Err---<y:2000, m: 1, d: 1>\n\t<steps:0, distance:0, calorie:0, count:0>\n");
    add("upload 5 bytes", false, bandFrame(0x00, 0xFC, QByteArray::fromHex("0102030405")),
        uuid(0xFC, "uploading data") + "\n\t0x01 0x02 \n\t0x03 0x04 \n\t0x05 ");
    add("upload empty", false, bandFrame(0x00, 0xFC), uuid(0xFC, "uploading data"));
    add("version", false, bandFrame(0x00, 0xFF, QByteArray::fromHex("01020304001A7DDA7113")),
        uuid(0xFF, "version") + "\t<Version:01:02:03:04>\n\t<bluetooth address> 00:1a:7d:da:71:13\n");
    add("unknown item", false, bandFrame(0x00, 0x06, "\x01\x02"), "");
}

QTEST_GUILESS_MAIN(TraceTest)
#include "tst_trace.moc"

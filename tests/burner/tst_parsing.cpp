#include "debugcapture.h"
#include "mountinfo.h"
#include "usbids.h"

#include <QtTest>

namespace {

// "id major:minor mount point|type|source" per entry.
QStringList describe(const QList<MountEntry> &entries)
{
    QStringList lines;
    for (const MountEntry &e : entries)
        lines << QStringLiteral("%1 %2:%3 %4|%5|%6").arg(e.mountId).arg(e.major).arg(e.minor)
                     .arg(e.mountPoint, e.fsType, e.source);
    return lines;
}

const QByteArray rootLine = "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n";
const QByteArray bandLine = "60 22 8:17 / /media/band rw - vfat /dev/sdb1 rw\n";

} // namespace

class BurnerParsingTest : public QObject {
    Q_OBJECT
private slots:
    void usbIds_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("traces"); // empty: no valid pair, ids 0/0
        QTest::addColumn<uint>("vendor");
        QTest::addColumn<uint>("product");
        const QStringList band{"\tvid is:  451", "\tpid is:  16a8"};
        QTest::newRow("device path") << "\\\\?\\USB#VID_0451&PID_16A8#5&1d&0&2#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"
                                     << band << 0x451u << 0x16a8u;
        QTest::newRow("lower case") << "\\\\?\\usb#vid_0451&pid_16a8#x" << band << 0x451u << 0x16a8u;
        QTest::newRow("first markers, any order") << "PID_16A8&VID_0451&VID_1234" << band << 0x451u << 0x16a8u;
        QTest::newRow("short at the end") << "VID_0001&PID_2" << QStringList{"\tvid is:  1", "\tpid is:  2"} << 1u << 2u;
        QTest::newRow("no product") << "USB#VID_0451#x" << QStringList() << 0u << 0u;
        QTest::newRow("no vendor") << "USB#PID_16A8#x" << QStringList() << 0u << 0u;
        QTest::newRow("not hex") << "VID_04G1&PID_16A8" << QStringList() << 0u << 0u;
        QTest::newRow("nothing after marker") << "PID_16A8&VID_" << QStringList() << 0u << 0u;
    }

    void usbIds()
    {
        QFETCH(QString, path);
        QFETCH(QStringList, traces);
        QFETCH(uint, vendor);
        QFETCH(uint, product);
        DebugCapture debug;
        quint16 ids[2] = {7, 7};
        QCOMPARE(parseUsbIds(path, ids), !traces.isEmpty());
        QCOMPARE(debug.messages, traces);
        QCOMPARE(uint(ids[0]), vendor);
        QCOMPARE(uint(ids[1]), product);
    }

    // The kernel's own form of the pair, which a removal event still carries.
    void productValue()
    {
        quint16 ids[2];
        QVERIFY(parseUsbProductValue("451/16a8/100", ids) && ids[0] == 0x451 && ids[1] == 0x16a8);
        for (const char *bad : {"451", "45x/16a8/100", "10000/16a8/100", ""})
            QVERIFY2(!parseUsbProductValue(bad, ids) && ids[0] == 0 && ids[1] == 0, bad);
    }

    void driveLetter()
    {
        const QList<QPair<quint32, char>> cases{{0, 0}, {1, 'A'}, {0x30, 'E'}, {1u << 25, 'Z'},
                                               {0xFC000000, 0}, {0xFFFFFFFF, 'A'}};
        for (const auto &c : cases)
            QCOMPARE(lowestDriveLetter(c.first), c.second);
    }

    void mountInfo_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("optional fields")
            << rootLine + "40 22 8:17 / /media/b rw master:1 propagate_from:2 - vfat /dev/sdb1 rw"
            << QStringList{"22 8:1 /|ext4|/dev/sda1", "40 8:17 /media/b|vfat|/dev/sdb1"};
        QTest::newRow("escapes") << QByteArray("42 1 8:33 / /m/my\\040band\\011a\\134b\\012c rw - vfat /dev/x\\040y rw")
                                 << QStringList{"42 8:33 /m/my band\ta\\b\nc|vfat|/dev/x y"};
        QTest::newRow("not escapes") << QByteArray("43 1 8:1 / /a\\09\\8x\\ rw - ext4 s")
                                     << QStringList{"43 8:1 /a\\09\\8x\\|ext4|s"};
        QTest::newRow("utf-8") << QByteArray("44 1 0:5 / /m/\xe6\x89\x8b\xe7\x8e\xaf rw - nfs4 h:/x rw")
                               << QStringList{QString::fromUtf8("44 0:5 /m/\u624b\u73af|nfs4|h:/x")};
        QTest::newRow("malformed lines skipped")
            << "\n45 1 8:1 / /short\nx 1 8:1 / /m rw - ext4 s\n46 1 81 / /m rw - ext4 s\n"
               "47 1 8:1 / /m rw ext4 s\n48 1 8:1 / /m rw - ext4\n" + bandLine
            << QStringList{"60 8:17 /media/band|vfat|/dev/sdb1"};
    }

    void mountInfo()
    {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, entries);
        QCOMPARE(describe(parseMountInfo(text)), entries);
    }

    void newMountsFound_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QStringList>("added");
        QTest::newRow("unchanged") << rootLine + bandLine << bandLine + rootLine << QStringList();
        QTest::newRow("mounted") << rootLine << rootLine + bandLine << QStringList{"60 8:17 /media/band|vfat|/dev/sdb1"};
        QTest::newRow("unmounted") << rootLine + bandLine << rootLine << QStringList();
        QTest::newRow("same place, new mount") << rootLine + bandLine << QByteArray(bandLine).replace("60", "61")
                                               << QStringList{"61 8:17 /media/band|vfat|/dev/sdb1"};
        QTest::newRow("id reused elsewhere") << bandLine << QByteArray(bandLine).replace("band", "other")
                                             << QStringList{"60 8:17 /media/other|vfat|/dev/sdb1"};
    }

    void newMountsFound()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QFETCH(QStringList, added);
        QCOMPARE(describe(newMounts(parseMountInfo(before), parseMountInfo(after))), added);
    }

    void networkFilesystems()
    {
        for (const char *type : {"nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "afs", "ceph", "glusterfs", "9p", "fuse.sshfs"})
            QVERIFY2(isNetworkFilesystem(type), type);
        for (const char *type : {"ext4", "vfat", "exfat", "tmpfs", "fuse", "fuseblk", "NFS", ""})
            QVERIFY2(!isNetworkFilesystem(type), type);
    }
};

QTEST_GUILESS_MAIN(BurnerParsingTest)
#include "tst_parsing.moc"

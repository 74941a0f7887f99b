// No USB devices here: the test shows that the watch starts and that a mount
// made during the test arrives as a volume.
#include "udevhotplugsource.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <linux/netlink.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

class UdevHotplugSourceTest : public QObject {
    Q_OBJECT
private slots:
    void startsAndReportsNewMount()
    {
        const int probe = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT);
        if (probe < 0)
            QSKIP(qPrintable(QString("device events cannot be watched here: ") + strerror(errno)));
        ::close(probe);

        UdevHotplugSource source;
        QVERIFY(source.start());
        QVERIFY(source.start()); // a second start keeps the running watch
        QSignalSpy spy(&source, &HotplugSource::volumeMounted);

        QTemporaryDir dir;
        const QString point = dir.path() + "/band disk";
        QVERIFY(QDir().mkdir(point));
        const QByteArray target = QFile::encodeName(point);
        if (::mount("bandtest", target.constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP(qPrintable(QString("a test mount is not allowed here: ") + strerror(errno)));
        QTRY_VERIFY_WITH_TIMEOUT(!spy.isEmpty(), 30000);
        ::umount2(target.constData(), MNT_DETACH);

        QCOMPARE(spy.count(), 1);
        const VolumeInfo volume = spy.at(0).at(0).value<VolumeInfo>();
        QCOMPARE(volume.rootPath, point + '/');
        QCOMPARE(volume.kind, VolumeInfo::Kind::Local);
        // A memory filesystem is on no USB device, so it can never pass as the band's disk.
        QVERIFY(volume.ownerKnown);
        QCOMPARE(volume.ownerVendorId, quint16(0));
        QCOMPARE(volume.ownerProductId, quint16(0));
    }
};

QTEST_GUILESS_MAIN(UdevHotplugSourceTest)
#include "tst_udevhotplugsource.moc"

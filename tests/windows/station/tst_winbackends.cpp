// The Windows backends with their inputs faked at the seam: device notices
// sent to the hidden window as Windows would send them, and a device tree
// with a volume on the band's USB device, one on an operator's stick and a
// network share.
#include "banddiskwatch.h"
#include "devicenotices_win.h"
#include "volumeowner.h"
#include "winhotplugsource.h"

#include <QSignalSpy>
#include <QTest>

#include <dbt.h>
#include <initguid.h>
#include <usbiodef.h>

namespace {

const QString bandDisk = QStringLiteral("USBSTOR\\DISK&VEN_BAND&PROD_UPGRADE\\7&1");
const QString stickDisk = QStringLiteral("USBSTOR\\DISK&VEN_STICK&PROD_32GB\\8&2");
const QHash<QString, QString> parents = {
    {bandDisk, QStringLiteral("USB\\VID_0451&PID_16A8\\0123")},
    {QStringLiteral("USB\\VID_0451&PID_16A8\\0123"), QStringLiteral("USB\\ROOT_HUB30\\4&1")},
    {stickDisk, QStringLiteral("USB\\VID_0781&PID_5567\\4C53")},
};

DeviceTree fakeTree()
{
    DeviceTree tree;
    tree.diskOf = [](QChar letter) {
        return letter == u'E' ? bandDisk : letter == u'F' ? stickDisk : letter == u'C' ? QStringLiteral("SCSI\\DISK&VEN_NVME\\1") : QString();
    };
    tree.parentOf = [](const QString &id) { return parents.value(id); };
    tree.isNetwork = [](QChar letter) { return letter == u'N'; };
    tree.locationOf = [](const QString &id) {
        return id == QLatin1String("USB\\VID_0451&PID_16A8\\0123") ? QStringLiteral("1400-1.4.2") : QString();
    };
    return tree;
}

void sendInterface(HWND window, WPARAM event, const GUID &classGuid, const wchar_t *name)
{
    const size_t size = sizeof(DEV_BROADCAST_DEVICEINTERFACE_W) + wcslen(name) * sizeof(wchar_t);
    std::vector<char> buffer(size);
    auto *notice = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W *>(buffer.data());
    notice->dbcc_size = DWORD(size);
    notice->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    notice->dbcc_classguid = classGuid;
    wcscpy(notice->dbcc_name, name);
    SendMessageW(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(notice));
}

void sendVolumes(HWND window, const QString &letters)
{
    DEV_BROADCAST_VOLUME notice{};
    notice.dbcv_size = sizeof notice;
    notice.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    for (QChar letter : letters)
        notice.dbcv_unitmask |= 1u << (letter.unicode() - 'A');
    SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&notice));
}

const wchar_t bandUsb[] = L"\\\\?\\USB#VID_0451&PID_16A8#0123#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

} // namespace

class TestWindowsBackends : public QObject {
    Q_OBJECT

private slots:
    // Only arrivals and removals are notices; a port's name and an
    // interface's path come through as sent.
    void noticesOfTheHiddenWindow()
    {
        DeviceNotices notices;
        QVERIFY(notices.start());
        QSignalSpy spy(&notices, &DeviceNotices::notice);
        sendInterface(notices.window(), DBT_DEVICEARRIVAL, GUID_DEVINTERFACE_USB_DEVICE, bandUsb);
        SendMessageW(notices.window(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
        DEV_BROADCAST_PORT_W port{};
        port.dbcp_size = sizeof port;
        port.dbcp_devicetype = DBT_DEVTYP_PORT;
        wcscpy(port.dbcp_name, L"COM7");
        SendMessageW(notices.window(), WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, reinterpret_cast<LPARAM>(&port));

        QCOMPARE(spy.size(), 2);
        const auto usb = spy.at(0).at(0).value<DeviceNotice>();
        QVERIFY(usb.change == DeviceNotice::Change::Arrived && usb.kind == DeviceNotice::Kind::Interface);
        QCOMPARE(usb.name, QString::fromWCharArray(bandUsb));
        const auto com = spy.at(1).at(0).value<DeviceNotice>();
        QVERIFY(com.change == DeviceNotice::Change::Removed && com.kind == DeviceNotice::Kind::Port);
        QCOMPARE(com.name, QStringLiteral("COM7"));
    }

    // The band's disk is the volume on the band's own USB device: never the
    // stick's, the local disk's or the share's, and only while the band is there.
    void onlyTheBandsOwnVolume()
    {
        WinHotplugSource source(fakeTree());
        QVERIFY(source.start());
        BandDiskWatch watch(&source);
        QSignalSpy mounted(&watch, &BandDiskWatch::diskMounted);
        QSignalSpy removed(&watch, &BandDiskWatch::bandRemoved);

        sendVolumes(source.noticeWindow(), QStringLiteral("E"));
        QCOMPARE(mounted.size(), 0); // before the band's arrival

        // Each event carries the band's place, also once the device has gone.
        QSignalSpy arrivals(&source, &HotplugSource::usbDeviceArrived);
        QSignalSpy departures(&source, &HotplugSource::usbDeviceLeft);
        QSignalSpy volumes(&source, &HotplugSource::volumeMounted);
        sendInterface(source.noticeWindow(), DBT_DEVICEARRIVAL, GUID_DEVINTERFACE_USB_DEVICE, bandUsb);
        QVERIFY(watch.bandSeen());
        QCOMPARE(arrivals.at(0).at(2).toString(), QStringLiteral("1400-1.4.2"));
        sendVolumes(source.noticeWindow(), QStringLiteral("CFNE"));
        QCOMPARE(mounted.size(), 1);
        QCOMPARE(mounted.at(0).at(0).toString(), QStringLiteral("E:/"));
        QCOMPARE(volumes.size(), 4); // in letter order: C E F N
        QCOMPARE(volumes.at(1).at(0).value<VolumeInfo>().ownerLocation, QStringLiteral("1400-1.4.2"));
        QVERIFY(volumes.at(2).at(0).value<VolumeInfo>().ownerLocation.isEmpty()); // the stick's

        sendInterface(source.noticeWindow(), DBT_DEVICEREMOVECOMPLETE, GUID_DEVINTERFACE_USB_DEVICE, bandUsb);
        QCOMPARE(departures.at(0).at(2).toString(), QStringLiteral("1400-1.4.2"));
        QCOMPARE(removed.size(), 1);
        QVERIFY(!watch.bandSeen());
    }

    // The walk up the tree stops at the first USB device, and ends on a
    // tree without one or one that loops.
    void ownerOfADisk()
    {
        quint16 ids[2] = {1, 1};
        QString owner;
        QVERIFY(usbOwnerOf(bandDisk, [](const QString &id) { return parents.value(id); }, ids, &owner));
        QCOMPARE(owner, QStringLiteral("USB\\VID_0451&PID_16A8\\0123"));
        QVERIFY(ids[0] == 0x0451 && ids[1] == 0x16A8);
        QVERIFY(!usbOwnerOf(QStringLiteral("SCSI\\DISK\\1"), [](const QString &) { return QString(); }, ids));
        QVERIFY(ids[0] == 0 && ids[1] == 0);
        QVERIFY(!usbOwnerOf(QStringLiteral("A"), [](const QString &id) { return id == "A" ? QStringLiteral("B") : QStringLiteral("A"); }, ids));
    }
};

QTEST_GUILESS_MAIN(TestWindowsBackends)
#include "tst_winbackends.moc"

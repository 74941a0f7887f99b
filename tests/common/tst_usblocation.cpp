// Matching disks to bands by where they are plugged in.
#include "usblocation.h"

#include <QtTest>

class UsbLocationTest : public QObject {
    Q_OBJECT
private slots:
    void matchDisksToBands_data()
    {
        QTest::addColumn<QStringList>("bands");
        QTest::addColumn<QStringList>("disks");
        QTest::addColumn<QList<int>>("matches");
        QTest::newRow("reverse order") << QStringList{"1-1.4.2", "1-1.4.3"} << QStringList{"1-1.4.3", "1-1.4.2"}
                                       << QList<int>{1, 0};
        QTest::newRow("neighbour's only") << QStringList{"1-1.4.2"} << QStringList{"1-1.4.3"} << QList<int>{-1};
        QTest::newRow("deeper in the same hub") << QStringList{"1-1.4"} << QStringList{"1-1.4.2"} << QList<int>{-1};
        QTest::newRow("disk's place unknown") << QStringList{"1-1.4.2"} << QStringList{""} << QList<int>{-1};
        QTest::newRow("band's place unknown") << QStringList{"", "1-1.4.3"} << QStringList{"", "1-1.4.3"}
                                              << QList<int>{-1, 1};
        QTest::newRow("one disk, one band") << QStringList{"1-1.4.2", "1-1.4.2"} << QStringList{"1-1.4.2"}
                                            << QList<int>{0, -1};
        QTest::newRow("no disks yet") << QStringList{"1-1.4.2"} << QStringList{} << QList<int>{-1};
    }

    void matchDisksToBands()
    {
        QFETCH(QStringList, bands);
        QFETCH(QStringList, disks);
        QFETCH(QList<int>, matches);
        QCOMPARE(::matchDisksToBands(bands, disks), matches);
    }

    // Windows' location paths: one band's port and its disk (an interface
    // and the device) give one place; anything not under a USB root gives none.
    void fromWindowsLocationPaths()
    {
        const QString hub = QStringLiteral("PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB(4)");
        QCOMPARE(usbLocationFromLocationPath(hub + "#USB(2)#USBMI(0)"), QStringLiteral("1400-1.4.2"));
        QCOMPARE(usbLocationFromLocationPath(hub + "#USB(2)"), QStringLiteral("1400-1.4.2"));
        QCOMPARE(usbLocationFromLocationPath(hub + "#USB(12)"), QStringLiteral("1400-1.4.12"));
        QCOMPARE(usbLocationFromLocationPath("PCIROOT(0)#PCI(1C00)#PCI(0000)#USBROOT(0)#USB(3)"),
                 QStringLiteral("1c00:0000-3"));
        for (const char *nowhere : {"", "PCIROOT(0)#PCI(1400)#USBROOT(0)", "ACPI(_SB_)#ACPI(PCI0)#ACPI(XHC_)",
                                    "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(x)", "PCIROOT(0)#PCI(1400)#SATA(0)",
                                    "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB(4"})
            QVERIFY2(usbLocationFromLocationPath(nowhere).isEmpty(), nowhere);
    }
};

QTEST_GUILESS_MAIN(UsbLocationTest)
#include "tst_usblocation.moc"

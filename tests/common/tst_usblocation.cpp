// Telling devices apart by where they are plugged in.
#include "usblocation.h"

#include <QtTest>

class UsbLocationTest : public QObject {
    Q_OBJECT
private slots:
    // A band and a disk are one only where both places are known and equal.
    void sameLocationOnlyWhenBothKnown()
    {
        QVERIFY(isSameUsbLocation("1-1.4.2", "1-1.4.2"));
        QVERIFY(!isSameUsbLocation("1-1.4.2", "1-1.4.3")); // the neighbour's
        QVERIFY(!isSameUsbLocation("1-1.4", "1-1.4.2"));   // deeper in the same hub
        QVERIFY(!isSameUsbLocation("1-1.4.2", ""));
        QVERIFY(!isSameUsbLocation("", ""));
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

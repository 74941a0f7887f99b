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
};

QTEST_GUILESS_MAIN(UsbLocationTest)
#include "tst_usblocation.moc"

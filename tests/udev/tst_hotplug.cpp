#include "usbtestbed.h"
#include <QtTest>
class HotplugTest : public QObject {
    Q_OBJECT
private slots:
    void none() {}
};
QTEST_GUILESS_MAIN(HotplugTest)
#include "tst_hotplug.moc"

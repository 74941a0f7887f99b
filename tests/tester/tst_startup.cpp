#include "startup.h"

#include <QApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void runTester_data();
    void runTester();
};

void TestStartup::runTester_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("withDefFile");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("shown"); // the box's title and text, or the window's title

    QTest::newRow("no def.xml") << QStringList{"tester"} << false << -1 << QStringList{"ERROR", "无法打开或处理def.xml"};
    QTest::newRow("unknown option") << QStringList{"tester", "--simulated"} << true << 2 << QStringList();
    QTest::newRow("simulated band") << QStringList{"tester", "--simulate"} << true << 0
                                    << QStringList{"[simulated band] 测试工具"};
}

void TestStartup::runTester()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, withDefFile);
    QFETCH(int, status);
    QFETCH(QStringList, shown);

    QTemporaryDir workDir;
    QVERIFY(QDir::setCurrent(workDir.path()));
    QFile def(QStringLiteral("def.xml"));
    QVERIFY(!withDefFile || (def.open(QIODevice::WriteOnly) && def.write("<QAT_DEF/>") > 0));
    def.close();

    // Closes the box if there is one, else the window.
    QStringList seen;
    QTimer closer;
    connect(&closer, &QTimer::timeout, this, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            seen = QStringList{box->windowTitle(), box->text()};
            if (box->standardButtons() != (QMessageBox::Ok | QMessageBox::Cancel))
                seen << "buttons differ";
            // Over the window, which is placed away from the screen's corner.
            const QRect window = box->parentWidget()->frameGeometry();
            const QPoint offset = box->frameGeometry().center() - window.center();
            if (window.topLeft() == QPoint(0, 0) || offset.manhattanLength() > 20)
                seen << QStringLiteral("box at %1,%2, window at %3,%4").arg(box->x()).arg(box->y()).arg(window.x()).arg(window.y());
            box->reject();
        } else if (auto *window = qobject_cast<QMainWindow *>(QApplication::activeWindow())) {
            seen = QStringList{window->windowTitle()};
            window->close();
        }
    });
    closer.start(20);

    QCOMPARE(::runTester(*qApp, arguments), status);
    QCOMPARE(seen, shown);
    QVERIFY(QDir::setCurrent(QDir::tempPath()));
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"

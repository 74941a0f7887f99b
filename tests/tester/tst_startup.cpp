#include "startup.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
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

// Run once as it is (Chinese, the default) and once under LANG=en_US.UTF-8.
void TestStartup::runTester_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("defFile"); // null: none
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("shown"); // the box's title, text and reason; or the window's title and marker

    const bool english = QLocale::system().language() == QLocale::English;
    QCOMPARE(english, qEnvironmentVariableIsSet("TESTER_EXPECT_ENGLISH"));
    const QString cannot = english ? "Cannot open or process def.xml" : "无法打开或处理def.xml";
    const QString title = english ? "[simulated band] Band tester" : "[模拟手环] 测试工具";
    // Qt's own buttons in the window's language too.
    const QString buttons = english ? "Cancel OK" : "取消 确定";
    const QString marker = english ? "[simulated band]" : "模拟手环，非真实测试";
    const QByteArray good = "<QAT_DEF/>";
    QTest::newRow("no def.xml") << QStringList{"tester"} << QByteArray() << -1
                                << QStringList{"ERROR", cannot, english ? "Fail to find \"def.xml\"" : "找不到 \"def.xml\"", buttons};
    QTest::newRow("goal out of range")
        << QStringList{"tester"} << QByteArray("<QAT_DEF><def type='person'><settings goal='70000'/></def></QAT_DEF>") << -1
        << QStringList{"ERROR", cannot,
                       english ? "Fail to accept goal \"70000\": allowed are whole numbers from 0 to 65535"
                               : "goal 的值 \"70000\" 无效: 只允许 0 到 65535 的整数",
                       buttons};
    QTest::newRow("cut off") << QStringList{"tester"} << QByteArray("<QAT_DEF><def type='person'>") << -1
                             << QStringList{"ERROR", cannot,
                                            english ? "Fail to read \"def.xml\" at line 1: Premature end of document."
                                                    : "无法读取 \"def.xml\" 第 1 行: 文档过早的结束。",
                                            buttons};
    // The alarm table's refusals as well, each in the window's language.
    const auto refused = [&](const char *name, const QByteArray &defs, const QString &inEnglish, const QString &inChinese) {
        QTest::newRow(name) << QStringList{"tester"} << "<QAT_DEF>" + defs + "</QAT_DEF>" << -1
                            << QStringList{"ERROR", cannot, english ? inEnglish : inChinese, buttons};
    };
    const QByteArray person = "<def type='person'><settings/></def>";
    const auto alarm = [](const QByteArray &entries) { return "<def type='alarm'>" + entries + "</def>"; };
    refused("alarm hour 25", alarm("<settings entry='0' hour='25' minute='0' mode='1'/>") + person,
            "Fail to accept alarm hour \"25\": allowed are whole numbers from 0 to 23",
            "alarm hour 的值 \"25\" 无效: 只允许 0 到 23 的整数");
    refused("alarm mode 0x1ff", alarm("<settings entry='0' hour='1' minute='0' mode='0x1ff'/>") + person,
            "Fail to accept alarm mode \"0x1ff\": allowed are whole numbers from 0 to 255 (or 0x0 to 0xff)",
            "alarm mode 的值 \"0x1ff\" 无效: 只允许 0 到 255 的整数 (或 0x0 到 0xff)");
    refused("alarm entry twice",
            alarm("<settings entry='3' hour='1' minute='0' mode='1'/><settings entry='3' hour='2' minute='0' mode='1'/>")
                + person,
            "Fail to accept alarm entry \"3\": it is given twice", "alarm entry \"3\" 重复出现");
    refused("alarms after the person", person + alarm("<settings entry='0' hour='1' minute='0' mode='1'/>"),
            "Fail to read Alarm Def: it must come before the person definition, which ends the reading",
            "无法读取 Alarm Def: 它必须在 person 定义之前，person 定义之后的内容不再读取");
    QTest::newRow("unknown option") << QStringList{"tester", "--simulated"} << good << 2 << QStringList();
    QTest::newRow("simulated band") << QStringList{"tester", "--simulate"} << good << 0 << QStringList{title, marker};
}

void TestStartup::runTester()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, defFile);
    QFETCH(int, status);
    QFETCH(QStringList, shown);

    QTemporaryDir workDir;
    QVERIFY(QDir::setCurrent(workDir.path()));
    QFile def(QStringLiteral("def.xml"));
    QVERIFY(defFile.isNull() || (def.open(QIODevice::WriteOnly) && def.write(defFile) > 0));
    def.close();

    // Closes the box if there is one, else the window.
    QStringList seen;
    QTimer closer;
    connect(&closer, &QTimer::timeout, this, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            QStringList buttonTexts;
            for (const QAbstractButton *button : box->buttons())
                buttonTexts << button->text();
            buttonTexts.sort();
            buttonTexts.removeIf([](const QString &t) { return t.isEmpty(); });
            seen = QStringList{box->windowTitle(), box->text(), box->informativeText(), buttonTexts.join(' ')};
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
            for (const QLabel *label : window->findChildren<QLabel *>())
                if (label->isVisible() && !label->text().isEmpty())
                    seen << label->text();
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

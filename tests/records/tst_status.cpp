// The records' line in the narrow tester window: whole, however long, and
// never at the cost of what the window shows.
#include "recordstatus.h"
#include "recordstore.h"

#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

class TestStatus : public QObject {
    Q_OBJECT
private slots:
    void longProblemShownWhole();
    void unverifiedServerSaid();
};

void TestStatus::longProblemShownWhole()
{
    QTemporaryDir dir;
    QFile ini(dir.filePath("station.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[station]\nname=line1, tester 3\n");
    ini.close();
    QFile damaged(dir.filePath("results.db"));
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray(8192, 'x'));
    damaged.close();

    RecordStore store(dir.path());
    QMainWindow window;
    window.setCentralWidget(new QWidget);
    window.setFixedSize(220, 555);
    window.statusBar()->addWidget(new QLabel("端口: 3"));
    showRecordProblems(store, &window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    auto *label = window.findChild<QLabel *>("recordStatus");
    QVERIFY(label);
    // station.ini's mistake is said from the start.
    QTRY_VERIFY(label->isVisible());
    QVERIFY2(label->text().contains("name has a comma"), qPrintable(label->text()));

    RunRecord r = store.begin("tester");
    r.finish(RunOutcome::Pass);
    QCOMPARE(store.keep(r), RecordStore::Kept::Spooled);
    QVERIFY(label->text().startsWith("记录未保存: results.db is damaged"));
    QVERIFY(label->text().contains(store.problem()));
    QTest::qWait(50);
    // All of it inside the window: as wide as the window at most, as tall as its lines.
    const QRect inWindow(label->mapTo(&window, QPoint(0, 0)), label->size());
    QVERIFY2(window.rect().contains(inWindow), qPrintable(QString("label %1,%2 %3x%4").arg(inWindow.x()).arg(inWindow.y())
                                                              .arg(inWindow.width()).arg(inWindow.height())));
    QVERIFY2(label->height() >= label->heightForWidth(label->width()),
             qPrintable(QString("%1 px tall, the text needs %2").arg(label->height()).arg(label->heightForWidth(label->width()))));
    QVERIFY(label->height() > 3 * label->fontMetrics().height());

    // The fixed-size window grows by the lines instead of squeezing what it shows.
    QMainWindow plain;
    plain.setCentralWidget(new QWidget);
    plain.setFixedSize(220, 555);
    plain.statusBar()->addWidget(new QLabel("端口: 3"));
    plain.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plain));
    QTRY_VERIFY2(window.centralWidget()->height() >= plain.centralWidget()->height(),
                 qPrintable(QString("%1 px left of %2").arg(window.centralWidget()->height())
                                .arg(plain.centralWidget()->height()) + QString(" window %1 label %2").arg(window.height()).arg(label->height())));
    QCOMPARE(window.width(), 220);
}

void TestStatus::unverifiedServerSaid()
{
    // A server across the network whose certificate nobody checks gets a
    // line of its own; one on this computer none.
    for (const char *host : {"10.0.0.5", "127.0.0.1"}) {
        QTemporaryDir dir;
        QFile ini(dir.filePath("station.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(QByteArray("[database]\nurl=postgresql://band@") + host + ":5432/records\n");
        ini.close();
        RecordStore store(dir.path(), 0);
        QMainWindow window;
        showRecordProblems(store, &window);
        const QString text = window.findChild<QLabel *>("recordStatus")->text();
        if (host == QLatin1String("127.0.0.1"))
            QVERIFY2(text.isEmpty(), qPrintable(text));
        else
            QCOMPARE(text, QStringLiteral("记录服务器 postgresql://band@10.0.0.5:5432/records 的连接未经验证"
                                          "（station.ini 中没有 [database] ca=）"));
    }
}

QTEST_MAIN(TestStatus)
#include "tst_status.moc"

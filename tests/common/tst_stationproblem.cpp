// station.ini's mistakes reach the operator in the window's language: each
// English wording the settings readers give has its form.
#include "stationproblem.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestStationProblem : public QObject {
    Q_OBJECT
private slots:
    void everyMistakeTranslated_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<int>("lines");
        QTest::newRow("not settings") << QByteArray("just some words\n") << 1;
        QTest::newRow("unknown, comma, url, slots, autostart")
            << QByteArray("[station]\nname=line 1, tester 3\nslots=17\nautostart=maybe\ncolour=red\n"
                          "[database]\nurl=http://x\n")
            << 5;
    }

    void everyMistakeTranslated()
    {
        QFETCH(QByteArray, ini);
        QFETCH(int, lines);
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("station.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ini);
        file.close();
        const QString text = stationIniProblemText(dir.path());
        const QStringList shown = text.split(QLatin1Char('\n'));
        QCOMPARE(shown.size(), lines);
        for (const QString &line : shown) // without a translator the forms give their Chinese source
            QVERIFY2(!line.contains(QLatin1String(" is not ")) && !line.contains(QLatin1String("unknown setting")),
                     qPrintable(line));
        QCOMPARE(stationProblemText(QStringLiteral("def.xml"), dir.path()), QStringLiteral("def.xml\n") + text);
    }

    void usableOrAbsentSaysNothing()
    {
        QTemporaryDir dir;
        QCOMPARE(stationProblemText(QString(), dir.path()), QString());
        QFile file(dir.filePath(QStringLiteral("station.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[station]\nname=line 1\nslots=8\nautostart=true\n");
        file.close();
        QCOMPARE(stationIniProblemText(dir.path()), QString());
    }
};

QTEST_MAIN(TestStationProblem)
#include "tst_stationproblem.moc"

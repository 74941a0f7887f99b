#include "diagnosticlog.h"

#include <QFile>
#include <QMutex>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <vector>

namespace {
QStringList passedOn;
QMutex passedOnLock; // the log's threads pass their messages on at once
void capture(QtMsgType, const QMessageLogContext &, const QString &message)
{
    const QMutexLocker locked(&passedOnLock);
    passedOn << message;
}

QStringList linesOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
}

class TestDiagnosticLog : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        passedOn.clear();
        qInstallMessageHandler(capture);
    }
    void cleanup() { qInstallMessageHandler(nullptr); }

    void appendsEveryMessageWholeAndPassesItOn()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("tester.log"));
        QFile earlier(path);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("a line from the last start\n");
        earlier.close();
        {
            DiagnosticLog log(path);
            qWarning("Records wait for the server: %s", "端口被占用");
            std::vector<QThread *> threads;
            for (int t = 0; t < 4; ++t) {
                threads.push_back(QThread::create([t] {
                    for (int i = 0; i < 200; ++i)
                        qDebug("thread %d message %d", t, i);
                }));
                threads.back()->start();
            }
            for (QThread *thread : threads) {
                QVERIFY(thread->wait(30000));
                delete thread;
            }
        }
        qDebug("after the log is gone");

        const QStringList lines = linesOf(path);
        QCOMPARE(lines.size(), 1 + 1 + 4 * 200);
        QCOMPARE(lines.first(), QStringLiteral("a line from the last start"));
        QVERIFY2(lines.at(1).endsWith(QStringLiteral("Records wait for the server: 端口被占用")), qPrintable(lines.at(1)));
        for (const QString &line : lines.mid(2))
            QVERIFY2(line.contains(QRegularExpression(QStringLiteral(" thread \\d message \\d+$"))), qPrintable(line));
        QCOMPARE(passedOn.size(), 1 + 4 * 200 + 1);
        QCOMPARE(passedOn.last(), QStringLiteral("after the log is gone"));
    }

    void keepsTheFileBelowItsBoundWithOneOlderFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("burner.log"));
        const qint64 bound = 10000;
        {
            DiagnosticLog log(path, bound);
            for (int i = 0; i < 1000; ++i)
                qDebug("message %04d with some text to fill the file", i);
        }
        const qint64 longestLine = 100;
        QVERIFY(QFile(path).size() <= bound + longestLine);
        QVERIFY(QFile(path + QStringLiteral(".1")).size() <= bound + longestLine);
        QVERIFY(!QFile::exists(path + QStringLiteral(".2")));
        QVERIFY(linesOf(path).last().endsWith(QStringLiteral("message 0999 with some text to fill the file")));
        QVERIFY(!linesOf(path + QStringLiteral(".1")).isEmpty());
    }

    void aFolderThatCannotTakeItLosesNothingElse()
    {
        DiagnosticLog log(QStringLiteral("/nonexistent-folder/tester.log"));
        qWarning("still shown");
        QCOMPARE(passedOn.last(), QStringLiteral("still shown"));
    }
};

QTEST_GUILESS_MAIN(TestDiagnosticLog)
#include "tst_diagnosticlog.moc"

#include "recordtesting.h"

#include "connections.h"
#include "recordstore.h"
#include "runlisting.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QSettings>
#include <QSqlQuery>
#include <QTextStream>
#include <QtTest>

RunRecord makeRun(const QString &program, const QString &station, const QString &startedAt, RunOutcome outcome,
                  const QString &unit, const QString &failedStep, int seconds)
{
    RunRecord r = RunRecord::begin(program, station);
    r.startedAt = QDateTime::fromString(startedAt, Qt::ISODate);
    r.startedAt.setTimeSpec(Qt::UTC);
    r.endedAt = r.startedAt.addSecs(seconds);
    r.outcome = outcome;
    r.unit = unit;
    r.failedStep = failedStep;
    r.failedRow = failedStep.isEmpty() ? -1 : 7;
    return r;
}

void writeStationIni(const QString &folder, const QString &name, const QUrl &server)
{
    QSettings ini(QDir(folder).filePath(QStringLiteral("station.ini")), QSettings::IniFormat);
    ini.setValue(QStringLiteral("station/name"), name);
    if (!server.isEmpty())
        ini.setValue(QStringLiteral("database/url"), server.toString(QUrl::FullyEncoded));
    ini.sync();
    // As the packages make it: the password is the operator's alone.
    QFile::setPermissions(ini.fileName(), QFile::ReadOwner | QFile::WriteOwner);
}

QString recordChildPath()
{
    return QStringLiteral(RECORD_CHILD);
}

QJsonObject runChild(const QString &folder, const QStringList &arguments, int *exitCode)
{
    QProcess p;
    p.start(recordChildPath(), QStringList{folder} + arguments);
    p.waitForFinished(60000);
    if (exitCode)
        *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    const QList<QByteArray> lines = p.readAllStandardOutput().trimmed().split('\n');
    return QJsonDocument::fromJson(lines.last()).object();
}

QList<QJsonObject> localRuns(const QString &folder)
{
    const QString name = uniqueConnectionName(QStringLiteral("runs"));
    QList<QJsonObject> runs;
    {
        QString error;
        QSqlDatabase db = openLocalDatabase(name, folder, true, &error);
        if (db.isOpen())
            listRuns(db, RecordFilter(), &runs, &error);
    }
    closeConnection(name);
    return runs;
}

int localRunCount(const QString &folder)
{
    const QString name = uniqueConnectionName(QStringLiteral("count"));
    int n = -1;
    {
        QString error;
        QSqlDatabase db = openLocalDatabase(name, folder, true, &error);
        QSqlQuery q(db);
        if (db.isOpen() && q.exec(QStringLiteral("SELECT COUNT(*) FROM runs")) && q.next())
            n = q.value(0).toInt();
    }
    closeConnection(name);
    return n;
}

int inFolder(const QString &folder, RecordCommand command, const QStringList &args, QString *out, qint64 *ms)
{
    const QString here = QDir::currentPath();
    QDir::setCurrent(folder);
    QString err;
    QTextStream outStream(out), errStream(&err);
    QElapsedTimer timer;
    timer.start();
    const int status = command(args, outStream, errStream, {});
    if (ms)
        *ms = timer.elapsed();
    QDir::setCurrent(here);
    outStream.flush();
    errStream.flush();
    out->append(err);
    return status;
}

void endWithinBound(std::unique_ptr<RecordStore> store)
{
    QElapsedTimer timer;
    timer.start();
    store.reset();
    qInfo("the program's end waited %lld ms", timer.elapsed());
    QVERIFY2(timer.elapsed() < 1500, qPrintable(QString("the end waited %1 ms for the server").arg(timer.elapsed())));
}

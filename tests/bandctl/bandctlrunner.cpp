#include "bandctlrunner.h"

#include <QElapsedTimer>
#include <QJsonDocument>

QList<QJsonObject> BandctlRun::json() const
{
    QList<QJsonObject> objects;
    for (const QByteArray &line : out.split('\n')) {
        if (!line.isEmpty())
            objects.append(QJsonDocument::fromJson(line).object());
    }
    return objects;
}

void startBandctl(QProcess *process, const QStringList &arguments)
{
    process->start(QStringLiteral(BANDCTL_PATH), arguments);
    process->waitForStarted(10000);
}

BandctlRun finishBandctl(QProcess *process, int budgetMs)
{
    BandctlRun run;
    QElapsedTimer timer;
    timer.start();
    if (!process->waitForFinished(budgetMs)) {
        process->kill();
        process->waitForFinished(5000);
    } else if (process->exitStatus() == QProcess::NormalExit) {
        run.exitCode = process->exitCode();
    }
    run.elapsedMs = timer.elapsed();
    // Windows' console line ends, so that one set of checks serves both.
    run.out = process->readAllStandardOutput().replace("\r\n", "\n");
    run.err = process->readAllStandardError().replace("\r\n", "\n");
    return run;
}

BandctlRun runBandctl(const QStringList &arguments, int budgetMs, const QString &workDir)
{
    QProcess process;
    if (!workDir.isEmpty())
        process.setWorkingDirectory(workDir);
    QElapsedTimer timer;
    timer.start();
    startBandctl(&process, arguments);
    BandctlRun run = finishBandctl(&process, budgetMs);
    run.elapsedMs = timer.elapsed();
    return run;
}

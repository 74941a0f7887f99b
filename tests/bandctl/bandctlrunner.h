// Runs the built bandctl as a child process and collects what it printed.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QStringList>

struct BandctlRun {
    int exitCode = -1;   // -1 when it did not exit by itself within the budget
    QByteArray out;
    QByteArray err;
    qint64 elapsedMs = 0;
    // Every line of standard output as a JSON object; a line that is no
    // object gives an empty one, so that stray text is caught.
    QList<QJsonObject> json() const;
};

BandctlRun runBandctl(const QStringList &arguments, int budgetMs = 30000, const QString &workDir = {});

// Started, for tests that signal it or pull the band out while it runs.
void startBandctl(QProcess *process, const QStringList &arguments);
BandctlRun finishBandctl(QProcess *process, int budgetMs);

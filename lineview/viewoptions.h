// What lineview is told on its command line, checked before anything starts.
#pragma once

#include <QString>
#include <QStringList>
#include <QTime>
#include <QList>

struct ViewOptions {
    QString database;   // postgresql://... or a results.db (or its folder)
    QString host = QStringLiteral("127.0.0.1");
    int port = 8080;
    QString tlsCert, tlsKey;
    QString usersFile;
    QString chartJs = QStringLiteral("/usr/share/javascript/chart.js/chart.min.js");
    double target = 0.98;            // first-pass yield a card is coloured against
    QList<QTime> shiftStarts;        // local time, sorted
    double sessionMinutes = 480;     // a login lasts one shift
    int requestsPerSecond = 50;      // per client address, with bursts of five seconds' worth
    int maxStreams = 400;            // live pages at once

    bool listensBeyondLoopback() const;
    bool usesTls() const { return !tlsCert.isEmpty(); }
};

// Parses arguments (without the program's name). False with *error (one
// line, for standard error) on a bad option or an unsafe combination.
bool parseViewOptions(const QStringList &arguments, ViewOptions *options, QString *error, QString *help);

// One band's whole history across the line, oldest first: every burn and
// test, and what is wrong with its route. A route is wrong when the band
// passed the tester with no passing burn before it on a line that has
// burners, or failed more than a number of times at one step.
#pragma once

#include <QJsonObject>
#include <QList>
#include <QStringList>

class QSqlDatabase;

struct UnitHistory {
    QString unit;            // lower case
    QList<QJsonObject> runs; // as `records --json` gives them
    QStringList flags;       // one sentence per fault of the route

    // False with *error when the records could not be read.
    bool read(QSqlDatabase &db, const QString &address, int maxRetries, QString *error);
    QString asText() const;
    // One object per run ("kind": "run"), then the route ("kind": "route").
    QString asJsonLines() const;
};

// aa:bb:cc:dd:ee:ff, in any case.
bool isBluetoothAddress(const QString &text);

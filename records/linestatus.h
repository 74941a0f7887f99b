// The line as its server knows it: every station that reported itself,
// whether it is online (seen within two minutes by the server's clock), what
// waits there, today's runs and first-pass yield (UTC day, production runs
// only), the def.xml and image it uses, and a flag where those differ from
// the ones most of the line's stations of the same program use.
#pragma once

#include "yieldreport.h"

#include <QList>
#include <QString>
#include <QStringList>

class QSqlDatabase;

struct LineStation {
    QString station, program, version, host;
    QString defSha256, imageSha256, imageVersion; // empty when not reported
    QString lastSeen; // ISO 8601 UTC
    bool online = false;
    int waiting = 0;
    YieldRow today;   // runs, units and first passes of the day
    QStringList flags; // "def.xml differs from ...", "image differs from ..."
};

struct LineStatus {
    QList<LineStation> stations; // by station, then program

    // False with *error when the server could not be read.
    bool read(QSqlDatabase &db, QString *error);
    QString asText() const;
    QString asJsonLines() const; // one object per station and program
};

// The login reads only its own station's rows: a station's login under the
// line's roles rather than a viewer's. False on a server without them.
bool readsOnlyItsOwn(QSqlDatabase &db);

// A station's report of itself to the line's server: who it is, what it
// runs with, and how many of its records still wait here. One row per
// station and program on the server, replaced by each report; the time it
// was seen is the server's.
#pragma once

#include <QString>

class QByteArray;
class QSqlDatabase;

// What a program tells the line about itself; set once it read its def.xml
// (and, for a burner, found its image). A program that only reads records
// has none, and reports nothing.
struct StationIdentity {
    QString program;     // "tester", "burner"
    QString version;     // the program's own
    QString defSha256;   // of the def.xml it uses; empty when none was read
    QString imageSha256; // a burner's firmware image; empty otherwise

    bool isSet() const { return !program.isEmpty(); }
    bool operator==(const StationIdentity &o) const
    {
        return program == o.program && version == o.version && defSha256 == o.defSha256
            && imageSha256 == o.imageSha256;
    }
    // This build's version string.
    static QString thisVersion();
};

// Lower-case hex.
QString sha256Hex(const QByteArray &bytes);
// Of the file's contents; empty when it cannot be read.
QString fileSha256(const QString &path);

// Reports station as identity to server: local is the station's results.db
// (where the last passing burn with the image says its version, and the
// queue says what waits), spooled the records waiting in the spool. False
// with *error; nothing is changed locally either way.
bool reportStation(QSqlDatabase &local, QSqlDatabase &server, const QString &station,
                   const StationIdentity &identity, int spooled, QString *error);

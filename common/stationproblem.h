// Whether the station may start a band, for the operator: the program's own
// files (def.xml, bin/) and station.ini. Every front end refuses to start a
// band while the station is unusable, and says why in its language.
#pragma once

#include <QString>

// station.ini's mistakes in the operator's language, one a line; empty when
// station.ini is usable or absent. folder: where station.ini is.
QString stationIniProblemText(const QString &folder = QStringLiteral("."));

// The program's own problem (already in the operator's language) and
// station.ini's, one a line; empty when the station is fine.
QString stationProblemText(const QString &programProblem, const QString &folder = QStringLiteral("."));

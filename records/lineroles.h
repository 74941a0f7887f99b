// The line server's three roles and what each may do:
//   band_station  adds runs and reports itself, and reads only its own: a
//                 station's login is named as its station (station.ini's
//                 [station] name), and the server holds it to that name;
//   band_viewer   reads everything;
//   band_admin    owns the tables (its members: the line's administrators).
// Made by `bandctl server init`, run by an administrator; running it again
// changes nothing or brings the server up to this program's schema.
#pragma once

#include <QStringList>

class QSqlDatabase;
class QString;

// Creates the roles, the schema, and the rights; on failure false with
// *error, and nothing changed but roles created before it.
bool initLineServer(QSqlDatabase &db, QString *error);

// What an administrator types to give a station, or a viewer, a login.
QStringList addLoginCommands(const QString &database);

// Opening run.log for appending. Several burns write it at once (the bands
// of a hub, bandctl beside the window), so every write must land at the
// file's end as a whole, never over another writer's line. POSIX's append
// mode does that; Windows needs a handle that may only append.
// One thin file per platform (appendonly_posix.cpp, appendonly_win.cpp).
#pragma once

class QFile;
class QString;

// Opens file, closed, on path as write-only text that every write appends
// to, created when missing. False, with the reason in why, when it cannot.
bool openAppendOnly(QFile &file, const QString &path, QString *why);

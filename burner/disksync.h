// The platform's part of putting a file on the band's disk: pushing it out
// to the device, and reading it back from the device rather than from memory.
// One thin file per platform (disksync_posix.cpp, disksync_win.cpp).
#pragma once

class QFile;
class QFileDevice;
class QString;

// Flushes the open file's data to the device; false when it cannot be confirmed.
bool syncFileToDisk(QFileDevice &file);

// Flushes the folder entries of the folder at path (after a rename in it);
// false when it cannot be confirmed.
bool syncFolderToDisk(const QString &folderPath);

// Opens file (its name set) for reading so that what is read comes from the
// device itself, not from what the system still holds in memory of the
// write. The file must have been flushed to the device first.
bool openForReadBack(QFile &file);

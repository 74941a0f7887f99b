// Getting files onto the device, for the band's disk and the records' spool
// alike: pushing a file and a folder's entries out to the device, and reading
// a file back from the device rather than from memory. One thin file per
// platform (filesync_posix.cpp, filesync_win.cpp).
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

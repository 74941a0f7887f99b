// Getting the spool's files onto the disk: one thin file per platform.
#pragma once

class QFileDevice;
class QString;

// Flushes the open file's data to the device.
bool flushToDisk(QFileDevice &file);
// Flushes a folder's entries (after a rename or removal in it).
bool flushFolderToDisk(const QString &path);

// Pushing a written file out to the device, so that a band unplugged right
// after a reported copy does not lose it.
#pragma once

#include <QString>

// Flushes the file's data and then the folder entry that names it; false
// when either cannot be confirmed.
bool syncFileToDisk(const QString &filePath);

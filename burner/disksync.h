// Pushing a written file out to the device, so that a band unplugged right
// after a reported copy does not lose it.
#pragma once

class QFile;

// Flushes the open file's data and then the folder entry that names it;
// false when either cannot be confirmed.
bool syncFileToDisk(QFile &file);

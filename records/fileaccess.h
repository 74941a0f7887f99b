// Who else may read a file: one thin file per platform.
#pragma once

class QString;

// True when users other than its owner may read the file.
bool readableByOthers(const QString &path);

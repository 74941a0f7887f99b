// What the station itself must hold before a band is touched: a readable
// def.xml naming both files, and those files in the burn folder. A problem
// here is the station's to fix, never the band's.
#pragma once

#include "burnfilenames.h"

#include <QString>

struct StationProblem {
    enum class Kind {
        None,
        DefinitionMissing,  // def.xml is not there
        DefinitionInvalid,  // def.xml cannot be read or does not name both files
        FolderMissing,      // the burn folder is not there
        FileMissing,        // a file named in def.xml is not in the burn folder
        FileUnreadable,     // ... is there but cannot be read
        ImageEmpty,         // the firmware image is empty
    };
    Kind kind = Kind::None;
    QString file;   // the file or folder to fix, as the station names it ("def.xml", "bin/band.bin")
    QString detail; // the reason in English, e.g. the XML reader's "line 3: ..."

    bool ok() const { return kind == Kind::None; }
    // "bin/band.bin: no such file"
    QString englishText() const;
    // The same for the operator, translated: "找不到 bin/band.bin".
    QString operatorText() const;
};

// Reads definitionFile into *files and checks sourceFolder ("bin/") for
// both files.
StationProblem checkStation(const QString &definitionFile, const QString &sourceFolder, BurnFileNames *files);

// Reads the burner's def.xml: the names of the configuration file and of
// the firmware image.
#pragma once

#include "burnfilenames.h"

#include <QString>

// Fills *files from the definition file and returns true when both names
// were read; every failure is explained on the debug channel, and in *why
// when given (one English line: "line 3: Premature end of document.").
bool readBurnDefinition(const QString &fileName, BurnFileNames *files, QString *why = nullptr);

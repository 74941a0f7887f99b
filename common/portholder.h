// Whether another program holds a band's serial port: the link only says
// that its open failed, and a port held elsewhere is no fault of the band.
#pragma once

#include <QString>

// Opens devicePath the way the link does and asks; false when it is free,
// gone, or refused for another reason.
bool heldByAnotherProgram(const QString &devicePath);

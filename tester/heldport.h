// A run whose port would not open because another program holds it
// (TestResult::portHeld): the band is not at fault.
#pragma once

#include <QString>

// What the operator is told instead of a band fault (translated).
QString heldPortText(const QString &devicePath);

// A run whose port would not open because another program holds it: the
// band is not at fault, and both the operator and the record are told so.
#pragma once

#include <QString>

struct TestResult;

// When the run failed to open devicePath and another program holds that
// port, sets result.error to say so (English, for the record) and returns true.
bool noteHeldPort(TestResult &result, const QString &devicePath);
// What the operator is told instead of a band fault (translated).
QString heldPortText(const QString &devicePath);

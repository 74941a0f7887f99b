// What a step's cell shows once the step passed.
#pragma once

#include "testsequence.h"

#include <QString>

// The version, the clock sent or read, or "OK".
QString stepPassText(int row, const TestResult &result);

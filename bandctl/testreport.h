// A test run as a result: the outcome ("pass", "fail", "interrupted"), the
// failing step, and what the band answered.
#pragma once

#include "result.h"

struct TestResult;

Result describeTestRun(const TestResult &run, const QString &device);

// A test run as a result: the outcome ("pass", "fail", "interrupted"), the
// failing step, and what the band answered; every field there, null when
// the run did not get that far or it is not known.
#pragma once

#include "result.h"

struct TestResult;

// usbPath: where the band is plugged in; empty when unknown.
Result describeTestRun(const TestResult &run, const QString &device, const QString &usbPath);

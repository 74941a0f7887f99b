// The tester's entry logic, callable in-process so that tests can run it.
#pragma once

#include <QStringList>

class QApplication;

// arguments: the program name, then the options. "--simulate" runs against
// a band that lives inside the program. Returns the exit status: the event
// loop's result, -1 without a usable def.xml, 2 for an unknown option.
int runTester(QApplication &app, const QStringList &arguments);

// The burner's start-up: settings, translation, the window and its inputs.
#pragma once

#include "translation.h"

#include <QString>
#include <QStringList>

class QApplication;

// Runs the burner until its window is closed. Options: --simulate runs a
// virtual band inside the program in place of a real one. Returns the event
// loop's status, -1 (after a message box) when the hot-plug watch is refused, 2 for a bad
// command line.
int runBurner(QApplication &app, const QStringList &arguments);

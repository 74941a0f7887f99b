// How a run shows: each step's look and text, worked out once and applied
// alike to the single window's table and to a band's panel.
#pragma once

#include "bandpanel.h"
#include "testsequence.h"

class QTableWidget;

struct StepShown {
    BandPanel::StepLook look = BandPanel::StepLook::NotRun;
    QString text; // empty: nothing (the table) or the look's own word (a panel)
};

// Green with what the step gave for each step that passed, red "Err" for the
// one that failed; the steps never reached keep the neutral look.
StepShown stepShown(int row, const TestResult &result);

// Each row of the single window's one-column table; null clears every row.
void paintSteps(QTableWidget *table, const TestResult *result);

// The panel's steps, verdict and the line under it: the port another
// program holds, the failed step's name, or that the band is to be unplugged.
void paintResult(BandPanel *panel, const TestResult &result, const QString &devicePath);

// While a run goes on: the step under way, and those before it passed (the
// steps between two exchanges pass with the next one).
void paintStepStarted(BandPanel *panel, int row);

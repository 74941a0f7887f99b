// The window's line about the station's records: empty while records are
// kept, a red text when results.db cannot take them. It sits at the right of
// the status bar, beside whatever the window tells the operator there.
#pragma once

class QStatusBar;
class RecordStore;

void showRecordProblems(const RecordStore &store, QStatusBar *bar);

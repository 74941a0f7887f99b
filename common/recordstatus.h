// The window's line about the station's records: empty while records are
// kept, a red text when results.db cannot take them or station.ini is
// wrong. It takes the window's whole width above the status bar and wraps
// onto as many lines as the text needs, so that a narrow window still shows
// all of it; a window of a fixed size grows by those lines.
#pragma once

class QMainWindow;
class RecordStore;

void showRecordProblems(const RecordStore &store, QMainWindow *window);

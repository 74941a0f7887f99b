// The window's line about the station's records: empty while records are
// kept, a red text when results.db cannot take them or station.ini is
// wrong. It takes the whole width of the status bar and wraps onto as many
// lines as the text needs, so that a narrow window still shows all of it.
#pragma once

class QStatusBar;
class RecordStore;

void showRecordProblems(const RecordStore &store, QStatusBar *bar);

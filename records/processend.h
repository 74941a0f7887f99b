// The end of a station program, once everything of its own is closed and
// every thread of its own has ended. On Windows the process ends without
// the DLLs' teardown: after the records server's client library has run on
// a thread that has since ended, that teardown can wait forever (under wine
// about one exit in four). Standard output and error are flushed first.
// Elsewhere it returns exitCode, for main() to return.
#pragma once

int endProcess(int exitCode);

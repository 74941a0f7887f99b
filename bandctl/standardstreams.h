// A program started with standard input, output or error closed would hand
// that descriptor to the next file it opens: results, the trace or an
// internal pipe would then share it. Each closed one is opened on the null
// device first, before anything else is opened. On Windows the same for
// one the C runtime holds with nothing behind it.
#pragma once

void openClosedStandardStreams();

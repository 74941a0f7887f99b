// A file-size limit (ulimit -f) must reach the store as a failed write, so
// that the record takes its documented path, not end the program by signal.
#pragma once

void takeFileSizeLimitAsWriteError();

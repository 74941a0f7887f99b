// Where bandctl's own output goes: results on the real standard output, as
// text or one JSON object a line; messages on standard error.
#pragma once

#include "exitcodes.h"

#include <QString>

#include <cstdio>

class Result;

class Output {
public:
    // resultFd: the real standard output (bandlink's trace has fd 1).
    Output(int resultFd, bool json);
    ~Output();
    Output(const Output &) = delete;
    Output &operator=(const Output &) = delete;

    bool isJson() const { return json; }
    // The reader of the results has gone (a closed pipe, as after `| head -1`).
    bool readerGone() const { return gone; }

    // One result; flushed at once so that a reader of a stream sees it.
    void print(const Result &result);
    // Text printed only in the text form (a heading, a blank line).
    void printText(const QString &text);
    // A one-line message on standard error, "bandctl: " first; in the JSON
    // form an {"error", "exit_code"} object also goes to standard output.
    // Returns code, so that a command can end with `return out.fail(...)`.
    int fail(ExitCode code, const QString &message);
    // Progress for people, on standard error; nothing in the JSON form.
    void progress(const QString &message);

private:
    FILE *results;
    bool json;
    bool gone = false;
    bool blockBefore = false; // text results of several lines are kept apart by a blank line
};

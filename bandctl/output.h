// Where bandctl's own output goes: results on the real standard output, as
// text or one JSON object a line; messages on standard error.
#pragma once

#include "exitcodes.h"

#include <QByteArray>
#include <QJsonObject>
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
    // The reader of the results has gone (a closed pipe, as after `| head -1`),
    // or they cannot be written at all.
    bool readerGone() const { return gone; }
    // Why results were lost (errno of a failed write other than a closed
    // pipe, e.g. a full disk); 0 when none were.
    int writeError() const { return lostErrno; }

    // One result; flushed at once so that a reader of a stream sees it.
    void print(const Result &result);
    // Lines already in the chosen form (a table, or JSON lines), as they are.
    void printLines(const QString &lines);
    // Text printed only in the text form (a heading, a blank line).
    void printText(const QString &text);
    // A one-line message on standard error, "bandctl: " first; in the JSON
    // form an {"error", "exit_code"} object also goes to standard output.
    // Returns code, so that a command can end with `return out.fail(...)`.
    int fail(ExitCode code, const QString &message);
    // The same, with more fields for the JSON form (e.g. what differed).
    int fail(ExitCode code, const QString &message, const QJsonObject &details);
    // Progress for people, on standard error; nothing in the JSON form.
    void progress(const QString &message);

private:
    void writeLine(const QByteArray &line);

    FILE *results;
    bool json;
    bool gone = false;
    int lostErrno = 0;
    bool blockBefore = false; // text results of several lines are kept apart by a blank line
};

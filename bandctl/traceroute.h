// bandlink prints its protocol trace on standard output (fd 1). bandctl
// points fd 1 at the trace's destination once, at start, and writes its own
// results to a saved copy of the real standard output, so the two can never
// mix, whichever thread or library prints.
#pragma once

#include <QString>

class TraceRoute {
public:
    enum class Destination { Nowhere, StandardError, File };

    TraceRoute() = default;
    ~TraceRoute(); // flushes the trace
    TraceRoute(const TraceRoute &) = delete;
    TraceRoute &operator=(const TraceRoute &) = delete;

    // False with *error set when the file cannot be opened or the
    // descriptors cannot be moved; nothing is changed then.
    bool route(Destination destination, const QString &file, QString *error);

    // The real standard output, for results; -1 before route().
    int resultFd() const { return savedStdout; }

private:
    int savedStdout = -1;
};

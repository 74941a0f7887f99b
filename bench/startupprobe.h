// Start-up time and peak memory of a program's window, measured in fresh
// child processes: the benchmark runs itself again with kStartupChild.
#pragma once

#include <cstdint>
#include <functional>

class QApplication;

namespace bench {

constexpr char kStartupChild[] = "--startup-child";

// In the child. start builds the window as the program does and runs the
// event loop; once the window's first paint has been delivered, the child
// prints "first-paint <ns> main <ns>" (monotonic clock) and quits.
int runStartupChild(int &argc, char **argv, int64_t mainNs,
                    const std::function<int(QApplication &)> &start);

// In the parent: runs the child `runs` times in the current working folder
// and prints the medians on standard error.
void printStartupFigures(int runs);

// Keeps the figures readable: drops Qt's debug and info messages (the port
// watcher's) and the offscreen platform's size-hint warning.
void installQuietMessageHandler();

} // namespace bench

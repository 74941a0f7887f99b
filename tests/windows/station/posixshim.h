// Lets the shared test sources that interrupt a child with a signal, or
// lock a port, build for Windows. Windows has no signals to send to one
// process: kill() fails there, and the runner leaves those test functions out.
#pragma once

#include <csignal>
#include <sys/types.h>

#ifndef SIGKILL
#define SIGKILL 9
#endif
using pid_t = long long;
inline int kill(pid_t, int)
{
    return -1;
}
// Nor a lock on a port that another program could see: flock() fails.
#include <fcntl.h>
#ifndef O_NOCTTY
#define O_NOCTTY 0
#define O_NONBLOCK 0
#define O_CLOEXEC 0
#endif
#define LOCK_EX 2
#define LOCK_NB 4
inline int flock(int, int)
{
    return -1;
}

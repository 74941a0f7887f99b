#include "interrupt.h"

#include <QSocketNotifier>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

std::atomic<bool> stopRequested{false};
int wakePipe[2] = {-1, -1};

void onSignal(int)
{
    stopRequested = true;
    const char byte = 'S';
    [[maybe_unused]] const ssize_t written = write(wakePipe[1], &byte, 1);
}

bool setHandler(int signalNumber, void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    return sigaction(signalNumber, &action, nullptr) == 0;
}

} // namespace

InterruptWatch::InterruptWatch(QObject *parent) : QObject(parent)
{
}

InterruptWatch::~InterruptWatch()
{
    setHandler(SIGINT, SIG_DFL);
    setHandler(SIGTERM, SIG_DFL);
    setHandler(SIGPIPE, SIG_DFL);
}

bool InterruptWatch::install()
{
    if (wakePipe[0] < 0 && pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    notifier = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char drained[16];
        while (read(wakePipe[0], drained, sizeof drained) > 0) {
        }
        emit interrupted();
    });
    // A closed output pipe shows as a failed write, never as a kill that
    // would leave the band's stream switched on.
    return setHandler(SIGINT, onSignal) && setHandler(SIGTERM, onSignal) && setHandler(SIGPIPE, SIG_IGN);
}

bool InterruptWatch::requested()
{
    return stopRequested;
}

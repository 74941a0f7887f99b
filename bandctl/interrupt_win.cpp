#include "interrupt.h"

#include <QWinEventNotifier>

#include <atomic>

#include <windows.h>

namespace {

std::atomic<bool> stopRequested{false};
HANDLE wakeEvent = nullptr;

// Runs on a thread of its own that Windows starts for the console event.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    stopRequested = true;
    SetEvent(wakeEvent);
    return TRUE;
}

} // namespace

InterruptWatch::InterruptWatch(QObject *parent) : QObject(parent)
{
}

InterruptWatch::~InterruptWatch()
{
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
}

bool InterruptWatch::install()
{
    if (!wakeEvent && !(wakeEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr)))
        return false;
    auto *notifier = new QWinEventNotifier(wakeEvent, this);
    connect(notifier, &QWinEventNotifier::activated, this, &InterruptWatch::interrupted);
    return SetConsoleCtrlHandler(onConsoleEvent, TRUE) != 0;
}

bool InterruptWatch::requested()
{
    return stopRequested;
}

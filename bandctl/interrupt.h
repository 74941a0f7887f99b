// Ctrl-C (SIGINT) and SIGTERM as a request to stop, never a kill: the
// handler only sets a flag and writes to a pipe; commands check the flag
// between bounded steps, or get the interrupted() signal in their event loop.
#pragma once

#include <QObject>

class QSocketNotifier;

class InterruptWatch : public QObject {
    Q_OBJECT
public:
    explicit InterruptWatch(QObject *parent = nullptr);
    ~InterruptWatch() override; // restores the default handlers

    // False when the handlers could not be installed.
    bool install();

    // True once Ctrl-C or SIGTERM arrived.
    static bool requested();

signals:
    void interrupted();

private:
    QSocketNotifier *notifier = nullptr;
};

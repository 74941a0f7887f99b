// Tells when the system adds or removes a serial (tty) device, so that the
// port watcher can look at once instead of at its next poll.
#pragma once

#include <QObject>

class TtyMonitor : public QObject {
    Q_OBJECT
public:
    // A monitor delivering on the calling thread's event loop, or null where
    // the platform gives no such notice (the watcher's poll then suffices).
    static TtyMonitor *create(QObject *parent);

signals:
    void changed();

protected:
    using QObject::QObject;
};

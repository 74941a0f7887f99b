// Watches the serial ports once a second, and at once when the port source
// reports a change, and reports the band's port coming and going.
#pragma once

#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>

#include <atomic>

class PortSource;

class CComThread : public QThread {
    Q_OBJECT
public:
    // source: where the port list comes from; null means the system's ports.
    // The source must outlive the thread.
    explicit CComThread(QObject *parent = nullptr, const PortSource *source = nullptr);
    ~CComThread() override; // stops the loop and waits for it

    // False (and *port untouched) while no band port is known or port is
    // null; otherwise the low 8 bits of the port number.
    bool getPort(quint8 *port) const;
    // Where the known band port is plugged in; empty while no band port is
    // known or the system does not tell.
    QString usbLocation() const;
    // The path that opens the known band port; empty while none is known.
    QString devicePath() const;

    // Ends the loop at its next wait and waits for the thread to finish.
    void stop();

    // Thread-safe: polls at once rather than at the end of the pause. The
    // port source calls it when it knows the list has changed.
    void pollNow();

    // Pause between two polls; 1000 ms unless a test shortens it.
    void setPollInterval(int ms);

signals:
    void SBConnected(bool connected);

protected:
    void run() override;

private:
    const PortSource *source;
    std::atomic<qint32> port{-1};
    mutable QMutex locationMutex;
    QString location; // guarded by locationMutex
    QString path;     // guarded by locationMutex
    std::atomic<int> pollIntervalMs{1000};
    QMutex waitMutex;
    QWaitCondition wakeUp;
    bool pollRequested = false; // guarded by waitMutex
};

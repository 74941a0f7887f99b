#include "comthread.h"

#include "bandports.h"
#include "portsource.h"

#include <QDebug>
#include <QMutexLocker>

namespace {

const SystemPortSource systemPorts;

} // namespace

CComThread::CComThread(QObject *parent, const PortSource *source)
    : QThread(parent), source(source ? source : &systemPorts)
{
    this->source->watchChanges(this, [this] { pollNow(); });
}

CComThread::~CComThread()
{
    stop();
}

bool CComThread::getPort(quint8 *out) const
{
    const qint32 current = port.load();
    if (current == -1 || !out)
        return false;
    *out = quint8(current & 0xFF);
    return true;
}

QString CComThread::usbLocation() const
{
    QMutexLocker lock(&locationMutex);
    return location;
}

QString CComThread::devicePath() const
{
    QMutexLocker lock(&locationMutex);
    return path;
}

void CComThread::stop()
{
    {
        QMutexLocker lock(&waitMutex);
        requestInterruption();
        wakeUp.wakeAll();
    }
    wait();
}

void CComThread::pollNow()
{
    QMutexLocker lock(&waitMutex);
    pollRequested = true;
    wakeUp.wakeAll();
}

void CComThread::setPollInterval(int ms)
{
    pollIntervalMs.store(ms);
}

void CComThread::run()
{
    while (!isInterruptionRequested()) {
        const QList<SerialPortEntry> ports = source->availablePorts();
        const qint32 found = firstBandPort(ports);
        const qint32 known = port.load();
        {
            // Before the report, so that a reader told of the band finds it.
            QMutexLocker lock(&locationMutex);
            location = found == -1 ? QString() : firstBandEntry(ports).usbLocation;
            path = found == -1 ? QString() : source->devicePath(firstBandEntry(ports));
        }
        if (found == -1 && known != -1) {
            qDebug() << "Disconnect Serial Port : " << known;
            port.store(-1);
            emit SBConnected(false);
        } else if (found != -1 && known == -1) {
            port.store(found);
            qDebug() << "Connect Serial Port : " << found;
            emit SBConnected(true);
        }

        // The flag is checked under the lock that stop() takes, so a stop
        // request can't slip in between the check and the wait.
        QMutexLocker lock(&waitMutex);
        if (isInterruptionRequested())
            break;
        // A change reported during the poll may not be in its list yet.
        if (!pollRequested)
            wakeUp.wait(&waitMutex, QDeadlineTimer(pollIntervalMs.load()));
        pollRequested = false;
    }
}

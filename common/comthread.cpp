#include "comthread.h"

#include "portsource.h"

#include <QDebug>
#include <QMutexLocker>

#include <algorithm>
#include <limits>

namespace {

constexpr quint16 kBandVendorId = 0x0451;
constexpr quint16 kBandProductId = 0x16AA;

#ifdef Q_OS_WIN
const QString kPortPrefix = QStringLiteral("COM");
#else
const QString kPortPrefix = QStringLiteral("ttyACM");
#endif

// Only plain digits make a port number. A sign is refused so that no name
// can produce -1, which would read as "no band".
qint32 portNumberAfter(QStringView digits)
{
    const bool onlyDigits = !digits.isEmpty()
        && std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    bool ok = false;
    const uint number = digits.toUInt(&ok, 10);
    if (!onlyDigits || !ok || number > uint(std::numeric_limits<qint32>::max()))
        return 0;
    return qint32(number);
}

// The port number of the first band port in the list, or -1.
qint32 findBandPort(const QList<SerialPortEntry> &ports)
{
    for (const SerialPortEntry &entry : ports) {
        if (!entry.hasUsbIds || entry.productId != kBandProductId || entry.vendorId != kBandVendorId)
            continue;
        const qsizetype at = entry.portName.indexOf(kPortPrefix, 0, Qt::CaseInsensitive);
        if (at < 0)
            return -1;
        return portNumberAfter(QStringView(entry.portName).mid(at + kPortPrefix.size()));
    }
    return -1;
}

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
        const qint32 found = findBandPort(source->availablePorts());
        const qint32 known = port.load();
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

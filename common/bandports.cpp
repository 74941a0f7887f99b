#include "bandports.h"

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

bool hasBandIds(const SerialPortEntry &entry)
{
    return entry.hasUsbIds && entry.productId == kBandProductId && entry.vendorId == kBandVendorId;
}

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

} // namespace

QList<BandPort> bandPortsIn(const QList<SerialPortEntry> &ports)
{
    QList<BandPort> found;
    for (const SerialPortEntry &entry : ports) {
        const qint32 number = hasBandIds(entry) ? portNumberOf(entry.portName) : -1;
        if (number >= 0)
            found.append({number, entry});
    }
    return found;
}

qint32 firstBandPort(const QList<SerialPortEntry> &ports)
{
    // No entry gives an empty name, which has no prefix: -1.
    return portNumberOf(firstBandEntry(ports).portName);
}

SerialPortEntry firstBandEntry(const QList<SerialPortEntry> &ports)
{
    const auto first = std::find_if(ports.begin(), ports.end(), hasBandIds);
    return first == ports.end() ? SerialPortEntry() : *first;
}

qint32 portNumberOf(const QString &portName)
{
    const qsizetype at = portName.indexOf(kPortPrefix, 0, Qt::CaseInsensitive);
    if (at < 0)
        return -1;
    return portNumberAfter(QStringView(portName).mid(at + kPortPrefix.size()));
}

QString bandPortName(qint32 number)
{
    return kPortPrefix + QString::number(number);
}

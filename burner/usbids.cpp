#include "usbids.h"

#include <QDebug>
#include <QStringList>

namespace {

// The four characters after the first marker, read as a hexadecimal number.
bool readHexAfter(const QString &text, const QString &marker, uint *value)
{
    const int at = text.indexOf(marker);
    if (at < 0)
        return false;
    bool ok = false;
    *value = text.mid(at + marker.size(), 4).toUInt(&ok, 16);
    return ok;
}

bool readHexField(const QString &field, quint16 *value)
{
    bool ok = false;
    const uint number = field.toUInt(&ok, 16);
    if (!ok || number > 0xFFFF)
        return false;
    *value = quint16(number);
    return true;
}

} // namespace

bool parseUsbIds(const QString &devicePath, quint16 ids[2])
{
    ids[0] = 0;
    ids[1] = 0;
    const QString text = devicePath.toUpper();
    uint vendor = 0;
    uint product = 0;
    if (!readHexAfter(text, QStringLiteral("VID_"), &vendor)
        || !readHexAfter(text, QStringLiteral("PID_"), &product))
        return false;
    ids[0] = quint16(vendor);
    ids[1] = quint16(product);
    qDebug() << "\tvid is: " << Qt::hex << ids[0];
    qDebug() << "\tpid is: " << Qt::hex << ids[1];
    return true;
}

bool parseUsbProductValue(const QString &value, quint16 ids[2])
{
    ids[0] = 0;
    ids[1] = 0;
    const QStringList fields = value.split(QLatin1Char('/'));
    quint16 vendor = 0;
    quint16 product = 0;
    if (fields.size() < 2 || !readHexField(fields.at(0), &vendor)
        || !readHexField(fields.at(1), &product))
        return false;
    ids[0] = vendor;
    ids[1] = product;
    return true;
}

char lowestDriveLetter(quint32 unitMask)
{
    for (int bit = 0; bit < 26; ++bit) {
        if (unitMask & (quint32(1) << bit))
            return char('A' + bit);
    }
    return 0;
}

#include "mountinfo.h"

#include <QFile>
#include <QSet>

namespace {

bool isOctalDigit(char c)
{
    return c >= '0' && c <= '7';
}

// The kernel writes space, tab, newline and backslash in paths as \ooo.
QString decodeField(const QByteArray &field)
{
    QByteArray bytes;
    bytes.reserve(field.size());
    for (int i = 0; i < field.size(); ++i) {
        if (field.at(i) == '\\' && i + 3 < field.size()
            && isOctalDigit(field.at(i + 1))
            && isOctalDigit(field.at(i + 2)) && isOctalDigit(field.at(i + 3))) {
            const int value = (field.at(i + 1) - '0') * 64
                + (field.at(i + 2) - '0') * 8 + (field.at(i + 3) - '0');
            bytes.append(char(value & 0xFF));
            i += 3;
        } else {
            bytes.append(field.at(i));
        }
    }
    return QFile::decodeName(bytes);
}

bool parseDeviceNumber(const QByteArray &field, MountEntry *entry)
{
    const int colon = field.indexOf(':');
    if (colon <= 0)
        return false;
    bool majorOk = false;
    bool minorOk = false;
    entry->major = field.left(colon).toUInt(&majorOk);
    entry->minor = field.mid(colon + 1).toUInt(&minorOk);
    return majorOk && minorOk;
}

// Fields: id, parent id, major:minor, root, mount point, options, optional
// fields up to a lone "-", then filesystem type, source, super options.
bool parseLine(const QByteArray &line, MountEntry *entry)
{
    const QList<QByteArray> fields = line.split(' ');
    if (fields.size() < 6)
        return false;
    bool idOk = false;
    entry->mountId = fields.at(0).toInt(&idOk);
    if (!idOk || !parseDeviceNumber(fields.at(2), entry))
        return false;
    entry->mountPoint = decodeField(fields.at(4));
    const int separator = fields.indexOf("-", 6);
    if (separator < 0 || separator + 2 >= fields.size())
        return false;
    entry->fsType = decodeField(fields.at(separator + 1));
    entry->source = decodeField(fields.at(separator + 2));
    return !entry->mountPoint.isEmpty() && !entry->fsType.isEmpty();
}

QString keyOf(const MountEntry &entry)
{
    return QStringLiteral("%1 %2:%3 %4")
        .arg(entry.mountId)
        .arg(entry.major)
        .arg(entry.minor)
        .arg(entry.mountPoint);
}

} // namespace

QList<MountEntry> parseMountInfo(const QByteArray &text)
{
    QList<MountEntry> entries;
    for (const QByteArray &line : text.split('\n')) {
        MountEntry entry;
        if (parseLine(line, &entry))
            entries.append(entry);
    }
    return entries;
}

QList<MountEntry> newMounts(const QList<MountEntry> &before,
                            const QList<MountEntry> &after)
{
    // A mount id can be reused after an unmount, so the key also holds the
    // device and the place.
    QSet<QString> known;
    for (const MountEntry &entry : before)
        known.insert(keyOf(entry));
    QList<MountEntry> added;
    for (const MountEntry &entry : after) {
        if (!known.contains(keyOf(entry)))
            added.append(entry);
    }
    return added;
}

bool isNetworkFilesystem(const QString &fsType)
{
    static const QSet<QString> network = {
        QStringLiteral("nfs"),       QStringLiteral("nfs4"),
        QStringLiteral("cifs"),      QStringLiteral("smb3"),
        QStringLiteral("smbfs"),     QStringLiteral("ncpfs"),
        QStringLiteral("afs"),       QStringLiteral("ceph"),
        QStringLiteral("glusterfs"), QStringLiteral("9p"),
        QStringLiteral("coda"),      QStringLiteral("lustre"),
        QStringLiteral("davfs"),     QStringLiteral("fuse.sshfs"),
        QStringLiteral("fuse.glusterfs"), QStringLiteral("fuse.ceph"),
        QStringLiteral("fuse.s3fs"), QStringLiteral("fuse.rclone"),
        QStringLiteral("fuse.davfs2"),
    };
    return network.contains(fsType);
}

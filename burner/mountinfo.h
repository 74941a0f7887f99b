// The mount table as the kernel lists it in /proc/self/mountinfo, and the
// mounts that appeared between two readings of it.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

struct MountEntry {
    int mountId = -1;
    quint32 major = 0; // of the device behind the mount; 0 for virtual ones
    quint32 minor = 0;
    QString mountPoint;
    QString fsType;
    QString source;
};

// One entry per well-formed line; lines that do not parse are skipped.
QList<MountEntry> parseMountInfo(const QByteArray &text);

// Entries of `after` that `before` did not hold, in the order of `after`.
QList<MountEntry> newMounts(const QList<MountEntry> &before,
                            const QList<MountEntry> &after);

// True for filesystems whose data lives on another machine.
bool isNetworkFilesystem(const QString &fsType);

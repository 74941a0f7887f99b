// How many bands a window serves at once, from station.ini beside def.xml:
//   [station] slots=N       (1..16; absent or 1: the single-band window)
//   [station] autostart=true  (each band runs as soon as it is plugged in)
// and from the command line (--slots N), which wins over the file.
#pragma once

#include <QString>
#include <QStringList>

class QSettings;

struct SlotSettings {
    static constexpr int kMaxSlots = 16;

    int slotCount = 1;
    bool autostart = false;
    // Why each value was not taken (English), one entry per mistake; empty when fine.
    QStringList problems;

    static SlotSettings read(const QString &folder);
    // The same from station.ini already open.
    static SlotSettings read(const QSettings &ini);
    // Every mistake in one line, empty when fine.
    QString problemText() const { return problems.join(QStringLiteral("; ")); }

    // Takes "--slots N" out of arguments; false (with the last problem its
    // own) for a missing or out-of-range N.
    bool takeCommandLine(QStringList &arguments);

    // Takes "--simulate [N]" out of arguments: *bands is 0 without it, 1 for
    // a bare --simulate, else N. False (with *problem set) for N out of 1..16.
    static bool takeSimulate(QStringList &arguments, int *bands, QString *problem);
};

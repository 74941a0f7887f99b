// Which panel shows the band in which hub port. A location keeps the panel
// it had last time when that panel is free, so that each hub port has its
// panel; a new location takes the first free one.
#pragma once

#include <QHash>
#include <QString>
#include <QVector>

class SlotMap {
public:
    explicit SlotMap(int slotCount);

    // The panel holding location, or the one it now takes; -1 when all are taken.
    int take(const QString &location);
    // The panel holding location, or -1.
    int find(const QString &location) const;
    void release(int slot);
    QString locationOf(int slot) const;
    int size() const { return int(holders.size()); }

private:
    QVector<QString> holders;          // the location each panel holds; empty = free
    QHash<QString, int> lastSlotOf;    // where each location was last shown
};

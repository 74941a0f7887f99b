#include "slotmap.h"

SlotMap::SlotMap(int slotCount) : holders(slotCount) {}

int SlotMap::take(const QString &location)
{
    const int held = find(location);
    if (held >= 0)
        return held;
    int slot = lastSlotOf.value(location, -1);
    if (slot < 0 || !holders[slot].isEmpty())
        slot = int(holders.indexOf(QString()));
    if (slot < 0)
        return -1;
    holders[slot] = location;
    lastSlotOf.insert(location, slot);
    return slot;
}

int SlotMap::find(const QString &location) const
{
    return location.isEmpty() ? -1 : int(holders.indexOf(location));
}

void SlotMap::release(int slot)
{
    if (slot >= 0 && slot < holders.size())
        holders[slot].clear();
}

QString SlotMap::locationOf(int slot) const
{
    return holders.value(slot);
}

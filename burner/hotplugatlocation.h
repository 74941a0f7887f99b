// One band's view of the station's hot-plug events when several bands are in
// upgrade mode at once: only the USB devices and volumes in the band's own
// USB location pass, so a neighbour's disk, or a disk whose location is
// unknown, is never taken as this band's. An empty location passes
// every event on (a single band, its place unknown).
#pragma once

#include "hotplugsource.h"

class HotplugAtLocation : public HotplugSource {
    Q_OBJECT
public:
    // source: shared by every band, started by its owner before any band's
    // cycle starts, and outliving this one. Its signals may come from
    // another thread; they are passed on in this object's thread.
    HotplugAtLocation(HotplugSource *source, const QString &location, QObject *parent = nullptr);

    bool start() override { return true; }

private:
    const QString location;
};

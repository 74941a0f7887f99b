#include "slotmanager.h"

#include "bandports.h"
#include "portsource.h"

#include <QDebug>

#include <algorithm>

SlotManager::SlotManager(int slotCount, QObject *parent) : QObject(parent), map(slotCount), bands(slotCount)
{
    connect(&pollTimer, &QTimer::timeout, this, &SlotManager::rescan);
}

void SlotManager::setAutostart(bool on)
{
    autostart = on;
}

void SlotManager::setRestartAfterPass(int ms)
{
    returnTimeoutMs = ms;
}

void SlotManager::setPassedMayStart(bool may)
{
    passedMayStart = may;
}

void SlotManager::setFailureStaysWhenGone(bool stays)
{
    failureStaysWhenGone = stays;
}

void SlotManager::setStationProblem(const QString &operatorText)
{
    if (operatorText == problem)
        return;
    problem = operatorText;
    emit changed();
}

void SlotManager::setStationCheck(std::function<QString()> check)
{
    stationCheck = std::move(check);
    if (stationCheck)
        setStationProblem(stationCheck());
}

void SlotManager::startWatching(const PortSource *ports, int pollMs)
{
    static const SystemPortSource systemPorts;
    source = ports ? ports : &systemPorts;
    // The source may call from any thread; the look is on this one.
    source->watchChanges(this, [this] { QMetaObject::invokeMethod(this, &SlotManager::rescan, Qt::QueuedConnection); });
    pollTimer.start(pollMs);
    QMetaObject::invokeMethod(this, &SlotManager::rescan, Qt::QueuedConnection);
}

QList<BandPlace> SlotManager::listedPlaces() const
{
    QList<BandPlace> places;
    if (!source)
        return places;
    for (const BandPort &port : bandPortsIn(source->availablePorts())) {
        const SerialPortEntry &entry = port.entry;
        places << BandPlace{entry.usbLocation.isEmpty() ? entry.portName : entry.usbLocation, source->devicePath(entry),
                            port.number};
    }
    return places;
}

bool SlotManager::isListed(const QString &location) const
{
    const QList<BandPlace> places = listedPlaces();
    return std::any_of(places.begin(), places.end(), [&](const BandPlace &p) { return p.location == location; });
}

void SlotManager::rescan()
{
    if (stationCheck)
        setStationProblem(stationCheck());
    const QList<BandPlace> places = listedPlaces();
    unplacedCount = 0;
    for (const BandPlace &place : places) {
        const int held = map.find(place.location);
        const int slot = held >= 0 ? held : map.take(place.location);
        if (slot < 0)
            ++unplacedCount;
        else if (held < 0 || !bands[slot].portPresent)
            portArrived(slot, place);
    }
    for (int slot = 0; slot < bands.size(); ++slot) {
        const QString location = map.locationOf(slot);
        const bool listed = std::any_of(places.begin(), places.end(), [&](const BandPlace &p) { return p.location == location; });
        if (!location.isEmpty() && bands[slot].portPresent && !listed)
            portLeft(slot);
        // A band that passed and did not come back from its restart was taken away.
        if (bands[slot].awaitingReturn && bands[slot].goneFor.hasExpired(returnTimeoutMs))
            freeSlot(slot);
    }
    emit changed();
}

void SlotManager::portArrived(int slot, const BandPlace &place)
{
    Slot &s = bands[slot];
    s.portPresent = true;
    s.devicePath = place.devicePath;
    s.port = place.port;
    qDebug() << "Connect Serial Port : " << place.port;
    if (s.awaitingReturn) {
        s.awaitingReturn = false; // back from its restart: the same band, its result stays
        return;
    }
    if (s.state != State::Empty)
        return; // its run or its result goes on
    s.state = State::Ready;
    emit bandArrived(slot);
    if (autostart && mayStart(slot))
        emit startDue(slot);
}

void SlotManager::portLeft(int slot)
{
    Slot &s = bands[slot];
    s.portPresent = false;
    qDebug() << "Disconnect Serial Port : " << s.port;
    if (s.state == State::Running)
        return; // the run notices and ends; its slot is freed then
    if (s.restartDue) {
        s.restartDue = false;
        s.awaitingReturn = true;
        s.goneFor.start();
        return;
    }
    if (!s.diskPresent)
        freeSlot(slot);
}

void SlotManager::setDiskPresent(const QString &location, bool present)
{
    const int slot = map.find(location);
    if (slot < 0)
        return;
    Slot &s = bands[slot];
    s.diskPresent = present;
    if (!present && !s.portPresent && s.state != State::Running)
        freeSlot(slot);
    emit changed();
}

bool SlotManager::start(int slot)
{
    if (!mayStart(slot))
        return false;
    bands[slot].state = State::Running;
    emit changed();
    return true;
}

void SlotManager::finish(int slot, Outcome outcome)
{
    if (!valid(slot) || bands[slot].state != State::Running)
        return;
    Slot &s = bands[slot];
    const bool gone = !s.portPresent && !s.diskPresent;
    if (outcome == Outcome::Pass) {
        s.state = State::Passed;
        if (returnTimeoutMs > 0) {
            // The band restarts after its pass; its result stays through that.
            s.restartDue = s.portPresent;
            s.awaitingReturn = !s.portPresent;
            if (s.awaitingReturn)
                s.goneFor.start();
        } else if (gone) {
            freeSlot(slot);
        }
    } else {
        s.state = State::Failed;
        // Pulled out: nothing to show for a band that is gone.
        if (gone && (outcome == Outcome::Interrupted || !failureStaysWhenGone))
            freeSlot(slot);
    }
    emit changed();
}

void SlotManager::freeSlot(int slot)
{
    bands[slot] = Slot();
    map.release(slot);
    emit slotFreed(slot);
}

SlotManager::State SlotManager::state(int slot) const
{
    return valid(slot) ? bands[slot].state : State::Empty;
}

bool SlotManager::present(int slot) const
{
    return valid(slot) && bands[slot].portPresent;
}

QString SlotManager::location(int slot) const
{
    return map.locationOf(slot);
}

QString SlotManager::devicePath(int slot) const
{
    return valid(slot) ? bands[slot].devicePath : QString();
}

int SlotManager::find(const QString &location) const
{
    return map.find(location);
}

bool SlotManager::mayStart(int slot) const
{
    if (!valid(slot) || !problem.isEmpty())
        return false;
    const Slot &s = bands[slot];
    if (!s.portPresent || s.restartDue || s.awaitingReturn)
        return false;
    return s.state == State::Ready || s.state == State::Failed || (s.state == State::Passed && passedMayStart);
}

bool SlotManager::anyReady() const
{
    for (int slot = 0; slot < bands.size(); ++slot)
        if (bands[slot].state == State::Ready && mayStart(slot))
            return true;
    return false;
}

bool SlotManager::everyBandHasItsResult(bool *allPassed) const
{
    bool anyBand = false;
    bool passed = true;
    for (const Slot &s : bands) {
        if (s.state == State::Empty)
            continue;
        anyBand = true;
        if (s.state != State::Passed && s.state != State::Failed)
            return false;
        passed = passed && s.state == State::Passed;
    }
    if (allPassed)
        *allPassed = passed;
    return anyBand;
}

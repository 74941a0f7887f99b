#include "simulatedhub.h"

#include <bandsim/virtualband.h>

SimulatedHub::SimulatedHub(int count, QObject *parent, bool paced) : QObject(parent)
{
    count = qBound(1, count, SimulatedBand::kMaxSlots);
    for (int slot = 0; slot < count; ++slot) {
        bandsInSlots.push_back(std::make_unique<SimulatedBand>(nullptr, paced, slot));
        connect(bandsInSlots.back().get(), &SimulatedBand::portsChanged, this, &SimulatedHub::portsChanged);
    }
}

SimulatedHub::~SimulatedHub() = default;

bool SimulatedHub::plugIn()
{
    for (const auto &band : bandsInSlots) {
        if (!band->plugIn()) {
            for (const auto &plugged : bandsInSlots)
                plugged->unplug();
            return false;
        }
    }
    return true;
}

QList<SimulatedBand *> SimulatedHub::bands() const
{
    QList<SimulatedBand *> all;
    for (const auto &band : bandsInSlots)
        all.append(band.get());
    return all;
}

QString SimulatedHub::devicePathOfPort(int port) const
{
    const int slot = port - SimulatedBand::kPort;
    if (slot < 0 || slot >= count())
        return QString();
    return QString::fromStdString(bandsInSlots[size_t(slot)]->band().devicePath());
}

QList<SerialPortEntry> SimulatedHub::availablePorts() const
{
    QList<SerialPortEntry> ports;
    for (const auto &band : bandsInSlots)
        ports += band->availablePorts();
    return ports;
}

void SimulatedHub::watchChanges(QObject *context, const std::function<void()> &changed) const
{
    connect(this, &SimulatedHub::portsChanged, context, changed, Qt::DirectConnection);
}

QString SimulatedHub::devicePath(const SerialPortEntry &entry) const
{
    for (const auto &band : bandsInSlots)
        if (band->usbLocation() == entry.usbLocation)
            return band->devicePath(entry);
    return QString();
}

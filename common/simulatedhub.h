// Several virtual bands in one hub: band i sits in slot i (USB location
// "1-1.<i+1>", port SimulatedBand::kPort + i), each with its own pseudo-
// terminal and Bluetooth address. To the port watcher it is one port source.
#pragma once

#include "portsource.h"
#include "simulatedband.h"

#include <QObject>

#include <memory>
#include <vector>

class SimulatedHub : public QObject, public PortSource {
    Q_OBJECT
public:
    // count: 1 .. SimulatedBand::kMaxSlots bands; paced as for SimulatedBand.
    explicit SimulatedHub(int count, QObject *parent = nullptr, bool paced = false);
    ~SimulatedHub() override;

    // Plugs every band in; false (with none left in) when one could not be.
    bool plugIn();

    int count() const { return int(bandsInSlots.size()); }
    SimulatedBand &band(int slot) { return *bandsInSlots.at(size_t(slot)); }
    QList<SimulatedBand *> bands() const;
    // The terminal of the band on port number `port` now (it changes each
    // time the band comes back); empty when no band here has that port.
    QString devicePathOfPort(int port) const;

    QList<SerialPortEntry> availablePorts() const override;
    void watchChanges(QObject *context, const std::function<void()> &changed) const override;
    QString devicePath(const SerialPortEntry &entry) const override;

signals:
    // A band's serial port appeared or went, on the object's thread.
    void portsChanged();

private:
    std::vector<std::unique_ptr<SimulatedBand>> bandsInSlots;
};

// A hub of virtual bands for the windows' tests: band i sits in USB location
// "1-1.<i+1>" on its own pseudo-terminal and, after a restart, comes back on
// its port as a real band does.
#pragma once

#include "bandports.h"
#include "portsource.h"

#include <bandsim/virtualband.h>

#include <QMutex>
#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

class BandHub : public QObject, public PortSource {
    Q_OBJECT
public:
    explicit BandHub(int count, int replugMs = 300)
    {
        for (int i = 0; i < count; ++i) {
            auto band = std::make_unique<bandsim::VirtualBand>();
            band->onRestart([this, i, replugMs] {
                QMetaObject::invokeMethod(this, [this, i, replugMs] {
                    emit portsChanged();
                    QTimer::singleShot(replugMs, this, [this, i] {
                        if (!pulled[size_t(i)])
                            plugIn(i);
                    });
                }, Qt::QueuedConnection);
            });
            bands.push_back(std::move(band));
            pulled.push_back(false);
        }
    }
    ~BandHub() override { bands.clear(); }

    bandsim::VirtualBand &band(int i) { return *bands[size_t(i)]; }
    static QString locationOf(int i) { return QStringLiteral("1-1.%1").arg(i + 1); }

    bool plugIn(int i)
    {
        pulled[size_t(i)] = false;
        const bool ok = bands[size_t(i)]->plugIn();
        emit portsChanged();
        return ok;
    }
    void pullOut(int i)
    {
        pulled[size_t(i)] = true;
        bands[size_t(i)]->unplug();
        emit portsChanged();
    }

    QList<SerialPortEntry> availablePorts() const override
    {
        QList<SerialPortEntry> ports;
        for (size_t i = 0; i < bands.size(); ++i) {
            if (!bands[i]->isPluggedIn())
                continue;
            SerialPortEntry entry;
            entry.portName = bandPortName(qint32(210 + i));
            entry.hasUsbIds = true;
            entry.vendorId = 0x0451;
            entry.productId = 0x16AA;
            entry.usbLocation = locationOf(int(i));
            ports << entry;
        }
        return ports;
    }
    void watchChanges(QObject *context, const std::function<void()> &changed) const override
    {
        connect(this, &BandHub::portsChanged, context, changed, Qt::DirectConnection);
    }
    QString devicePath(const SerialPortEntry &entry) const override
    {
        const size_t i = size_t(entry.portName.mid(6).toInt() - 210);
        return i < bands.size() ? QString::fromStdString(bands[i]->devicePath()) : QString();
    }

signals:
    void portsChanged();

private:
    std::vector<std::unique_ptr<bandsim::VirtualBand>> bands;
    std::vector<bool> pulled;
};

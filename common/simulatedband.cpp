#include "simulatedband.h"

#include "bandports.h"

#include <bandlink.h>
#include <bandsim/virtualband.h>

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>

SimulatedBand::SimulatedBand(QObject *parent, bool paced, int slot)
    : QObject(parent), slot(qBound(0, slot, kMaxSlots - 1)), replugTimer(new QTimer(this))
{
    bandsim::Options options;
    options.paced = paced;
    virtualBand = std::make_unique<bandsim::VirtualBand>(options);

    replugTimer->setSingleShot(true);
    connect(replugTimer, &QTimer::timeout, this, [this] { plugIn(); });

    // The band calls these on its own thread; the signals belong to ours.
    virtualBand->onRestart([this] {
        QMetaObject::invokeMethod(this, [this] {
            const bool stillOut = !virtualBand->isPluggedIn(); // not plugged back in meanwhile
            if (stillOut)
                dropOff();
            emit restarted();
            if (stillOut && replugDelayAfterResetMs >= 0)
                replugTimer->start(replugDelayAfterResetMs);
        }, Qt::QueuedConnection);
    });
    virtualBand->onUpgrade([this] {
        QMetaObject::invokeMethod(this, [this] {
            if (!virtualBand->isPluggedIn())
                dropOff();
            emit enteredUpgradeMode();
        }, Qt::QueuedConnection);
    });
}

SimulatedBand::~SimulatedBand()
{
    unplug(); // joins the band's thread before the callbacks' target goes away
}

bool SimulatedBand::plugIn()
{
    replugTimer->stop();
    if (!virtualBand->plugIn())
        return false;
    if (!uart_bind_device_path(port(), virtualBand->devicePath().c_str())) {
        virtualBand->unplug();
        return false;
    }
    pluggedIn = true;
    emit portsChanged();
    return true;
}

void SimulatedBand::unplug()
{
    replugTimer->stop();
    virtualBand->unplug();
    dropOff();
}

void SimulatedBand::dropOff()
{
    pluggedIn = false;
    // The pseudo-terminal's name may be given to another terminal next.
    uart_bind_device_path(port(), nullptr);
    emit portsChanged();
}

bool SimulatedBand::isPluggedIn() const
{
    return pluggedIn && virtualBand->isPluggedIn();
}

void SimulatedBand::setReplugDelayAfterReset(int ms)
{
    replugDelayAfterResetMs = ms;
}

quint8 SimulatedBand::port() const
{
    return quint8(kPort + slot);
}

QString SimulatedBand::usbLocation() const
{
    return usbLocationOfSlot(slot);
}

QString SimulatedBand::usbLocationOfSlot(int slot)
{
    return QStringLiteral("1-1.%1").arg(slot + 1);
}

bandsim::VirtualBand &SimulatedBand::band()
{
    return *virtualBand;
}

QList<SerialPortEntry> SimulatedBand::availablePorts() const
{
    // A band that dropped off by itself (cable pulled) is gone as well.
    if (!isPluggedIn())
        return {};
    SerialPortEntry entry;
    entry.portName = bandPortName(port());
    entry.hasUsbIds = true;
    entry.vendorId = 0x0451;
    entry.productId = 0x16AA;
    entry.usbLocation = usbLocation();
    return {entry};
}

void SimulatedBand::watchChanges(QObject *context, const std::function<void()> &changed) const
{
    connect(this, &SimulatedBand::portsChanged, context, changed, Qt::DirectConnection);
}

QString SimulatedBand::devicePath(const SerialPortEntry &) const
{
    return QString::fromStdString(virtualBand->devicePath());
}

QString SimulatedBand::windowTitleFor(const QString &title)
{
    return QCoreApplication::translate("SimulatedBand", "[模拟手环]") + QLatin1Char(' ') + title;
}

// A virtual band inside the program: it appears as a serial port to the
// port watcher, plugged into a USB location of its own, and bandlink's port
// number is bound to its pseudo-terminal.
#pragma once

#include "portsource.h"

#include <QObject>

#include <atomic>
#include <memory>

class QTimer;
namespace bandsim { class VirtualBand; }

class SimulatedBand : public QObject, public PortSource {
    Q_OBJECT
public:
    // The port number the simulated band of slot 0 takes; its port is named
    // "ttyACM<n>" (or "COM<n>"). The band of slot i takes kPort + i.
    static constexpr quint8 kPort = 200;
    // Slots 0 .. kMaxSlots - 1, plugged into USB locations "1-1.1" .. "1-1.16".
    static constexpr int kMaxSlots = 16;

    // paced: the band's output runs at 115200 bit/s, as on a real wire.
    // slot: which hub port the band sits in (0 .. kMaxSlots - 1).
    explicit SimulatedBand(QObject *parent = nullptr, bool paced = false, int slot = 0);
    ~SimulatedBand() override;

    quint8 port() const;
    // Where the band is plugged in, as the system names a USB location.
    QString usbLocation() const;
    static QString usbLocationOfSlot(int slot);

    // Plugs the band in: its serial port appears and port kPort leads to it.
    bool plugIn();
    void unplug();
    bool isPluggedIn() const;

    // Delay before a band that restarted (reset command) shows its serial
    // port again, as if the operator had plugged it back in; negative = never.
    void setReplugDelayAfterReset(int ms);

    bandsim::VirtualBand &band();

    // A window title that says plainly the band is not real; the words come
    // first so that a narrow window's elided title still shows them.
    static QString windowTitleFor(const QString &title);

    QList<SerialPortEntry> availablePorts() const override;
    void watchChanges(QObject *context, const std::function<void()> &changed) const override;
    // The band's pseudo-terminal.
    QString devicePath(const SerialPortEntry &entry) const override;

signals:
    // Emitted when the band's serial port appears or goes, on the object's thread.
    void portsChanged();
    // Emitted on the object's thread after the band dropped off its port.
    void restarted();
    void enteredUpgradeMode();

private:
    void dropOff();

    std::unique_ptr<bandsim::VirtualBand> virtualBand;
    const int slot;
    std::atomic<bool> pluggedIn{false};
    int replugDelayAfterResetMs = 1500;
    QTimer *replugTimer; // stopped by unplug(), so a band unplugged on purpose stays out
};

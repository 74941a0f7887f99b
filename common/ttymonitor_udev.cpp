#include "ttymonitor.h"

#include <QSocketNotifier>

#include <libudev.h>

namespace {

// A udev monitor of the tty subsystem: its events come after udev has
// finished with the device, so the port list already shows the change.
class UdevTtyMonitor : public TtyMonitor {
public:
    explicit UdevTtyMonitor(QObject *parent) : TtyMonitor(parent) {}

    ~UdevTtyMonitor() override
    {
        delete notifier; // before the descriptor it watches
        if (monitor)
            udev_monitor_unref(monitor);
        if (context)
            udev_unref(context);
    }

    bool start()
    {
        context = udev_new();
        if (context)
            monitor = udev_monitor_new_from_netlink(context, "udev");
        if (!monitor || udev_monitor_filter_add_match_subsystem_devtype(monitor, "tty", nullptr) < 0
            || udev_monitor_enable_receiving(monitor) < 0)
            return false;
        const int fd = udev_monitor_get_fd(monitor);
        if (fd < 0)
            return false;
        notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, &UdevTtyMonitor::onEvent);
        return true;
    }

private:
    void onEvent()
    {
        udev_device *device = udev_monitor_receive_device(monitor);
        if (!device)
            return;
        const QByteArray action = udev_device_get_action(device);
        udev_device_unref(device);
        if (action == "add" || action == "remove")
            emit changed();
    }

    udev *context = nullptr;
    udev_monitor *monitor = nullptr;
    QSocketNotifier *notifier = nullptr;
};

} // namespace

TtyMonitor *TtyMonitor::create(QObject *parent)
{
    auto *monitor = new UdevTtyMonitor(parent);
    if (monitor->start())
        return monitor;
    delete monitor;
    return nullptr;
}

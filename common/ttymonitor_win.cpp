#include "ttymonitor.h"

#include "devicenotices_win.h"

namespace {

// Any device coming or going may be a serial port: the watcher's poll then
// looks at once. Interface notices come when the port is ready to open.
class WindowsTtyMonitor : public TtyMonitor {
public:
    explicit WindowsTtyMonitor(QObject *parent) : TtyMonitor(parent), notices(this)
    {
        connect(&notices, &DeviceNotices::notice, this, [this](const DeviceNotice &notice) {
            if (notice.kind != DeviceNotice::Kind::Volume)
                emit changed();
        });
    }

    bool start() { return notices.start(); }

private:
    DeviceNotices notices;
};

} // namespace

TtyMonitor *TtyMonitor::create(QObject *parent)
{
    auto *monitor = new WindowsTtyMonitor(parent);
    if (monitor->start())
        return monitor;
    delete monitor;
    return nullptr;
}

#include <bandsim/virtualband.h>

#include "portservice.h"
#include "bandend.h"
#include "sharedband.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>

namespace bandsim {

namespace {

std::atomic<int> bandsAlive{0};

Options sanitized(Options options)
{
    options.strayByteCount = std::clamp(options.strayByteCount, 0, 255);
    options.uploadPayloadSize = std::clamp(options.uploadPayloadSize, 4, 255); // room for the sequence number
    options.minStatIntervalMs = std::max(options.minStatIntervalMs, 1);
    return options;
}

} // namespace

struct VirtualBand::Impl {
    explicit Impl(const Options &options) : options(sanitized(options)), band(BandClock::Steady::now())
    {
        if (options.bluetoothAddress != std::array<uint8_t, 6>{})
            band.state.setBluetoothAddress(options.bluetoothAddress);
    }

    void serve(BandEnd end);
    void stopService();

    const Options options;
    SharedBand band;

    // Guarded by band.mutex.
    bool plugged = false;
    std::string path;
    std::function<void()> restartCallback;
    std::function<void()> upgradeCallback;

    // Only plugIn / unplug touch these, one at a time.
    std::mutex plugMutex;
    std::thread thread;
    WakeUp wakeFd = kNoWakeUp;
    std::atomic<bool> stopRequested{false};
    std::atomic<std::thread::id> serviceThreadId{};

    bool onServiceThread() const { return std::this_thread::get_id() == serviceThreadId.load(); }
};

void VirtualBand::Impl::serve(BandEnd end)
{
    serviceThreadId = std::this_thread::get_id();
    DropReason reason;
    {
        PortService service(band, options, end, wakeFd);
        reason = service.run(stopRequested);
    }
    // Dropping off the port: a client holding it open now sees a hang-up.
    closeBandEnd(end);

    std::function<void()> callback;
    {
        std::lock_guard<std::mutex> lock(band.mutex);
        plugged = false;
        path.clear();
        if (reason == DropReason::Restart)
            callback = restartCallback;
        else if (reason == DropReason::Upgrade)
            callback = upgradeCallback;
    }
    if (callback)
        callback();
}

// Stops the band's thread (if any) and waits for it. Caller holds plugMutex.
void VirtualBand::Impl::stopService()
{
    if (thread.joinable()) {
        stopRequested = true;
        signalWakeUp(wakeFd);
        thread.join();
    }
    serviceThreadId = std::thread::id();
    closeWakeUp(wakeFd);
    stopRequested = false;
}

VirtualBand::VirtualBand(Options options) : d(std::make_unique<Impl>(options))
{
    ++bandsAlive;
}

VirtualBand::~VirtualBand()
{
    unplug();
    --bandsAlive;
}

bool VirtualBand::anyInProcess()
{
    return bandsAlive > 0;
}

bool VirtualBand::plugIn()
{
    // The band's own thread, inside a callback, cannot wait for itself.
    if (d->onServiceThread())
        return false;
    std::lock_guard<std::mutex> plugLock(d->plugMutex);
    if (isPluggedIn())
        return true;
    d->stopService(); // a band that dropped off by itself still has its thread to collect

    BandEnd end;
    d->wakeFd = openWakeUp();
    if (!isOpen(d->wakeFd) || !openBandEnd(end)) {
        closeWakeUp(d->wakeFd);
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(d->band.mutex);
        d->plugged = true;
        d->path = end.clientPath;
    }
    try {
        d->thread = std::thread(&Impl::serve, d.get(), end);
    } catch (const std::system_error &) {
        closeBandEnd(end);
        closeWakeUp(d->wakeFd);
        std::lock_guard<std::mutex> lock(d->band.mutex);
        d->plugged = false;
        d->path.clear();
        return false;
    }
    return true;
}

void VirtualBand::unplug()
{
    // From a callback the band has already dropped off its port.
    if (d->onServiceThread())
        return;
    std::lock_guard<std::mutex> plugLock(d->plugMutex);
    d->stopService();
}

bool VirtualBand::isPluggedIn() const
{
    std::lock_guard<std::mutex> lock(d->band.mutex);
    return d->plugged;
}

std::string VirtualBand::devicePath() const
{
    std::lock_guard<std::mutex> lock(d->band.mutex);
    return d->path;
}

void VirtualBand::stopClock()
{
    std::lock_guard<std::mutex> lock(d->band.mutex);
    d->band.state.stopClock();
}

void VirtualBand::setFault(uint8_t itemCode, Fault fault)
{
    std::lock_guard<std::mutex> lock(d->band.mutex);
    d->band.faults[itemCode] = fault;
}

void VirtualBand::clearFaults()
{
    std::lock_guard<std::mutex> lock(d->band.mutex);
    d->band.faults.fill(Fault::None);
}

void VirtualBand::onRestart(std::function<void()> callback)
{
    std::lock_guard<std::mutex> lock(d->band.mutex);
    d->restartCallback = std::move(callback);
}

void VirtualBand::onUpgrade(std::function<void()> callback)
{
    std::lock_guard<std::mutex> lock(d->band.mutex);
    d->upgradeCallback = std::move(callback);
}

sb_time_t VirtualBand::clock() const
{
    std::lock_guard<std::mutex> lock(d->band.mutex);
    return d->band.state.clock(BandClock::Steady::now());
}

sb_conf_t VirtualBand::conf() const
{
    std::lock_guard<std::mutex> lock(d->band.mutex);
    return d->band.state.conf();
}

sb_led_t VirtualBand::led() const
{
    std::lock_guard<std::mutex> lock(d->band.mutex);
    return d->band.state.led();
}

std::array<sb_alarm_t, SB_ALARM_COUNT> VirtualBand::alarms() const
{
    std::lock_guard<std::mutex> lock(d->band.mutex);
    return d->band.state.alarmTable();
}

void VirtualBand::setAlarms(const std::array<sb_alarm_t, SB_ALARM_COUNT> &table)
{
    std::lock_guard<std::mutex> lock(d->band.mutex);
    d->band.state.setAlarmTable(table);
}

sb_version_t VirtualBand::version() const
{
    std::lock_guard<std::mutex> lock(d->band.mutex);
    return d->band.state.version();
}

std::vector<std::vector<uint8_t>> VirtualBand::commandsReceived() const
{
    std::lock_guard<std::mutex> lock(d->band.mutex);
    return d->band.commandsReceived;
}

void VirtualBand::clearCommandsReceived()
{
    std::lock_guard<std::mutex> lock(d->band.mutex);
    d->band.commandsReceived.clear();
}

} // namespace bandsim

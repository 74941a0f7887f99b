#include "burncontroller.h"

#include "bandchannel.h"
#include "burnrecord.h"
#include "hotplugatlocation.h"
#include "hotplugsource.h"
#include "portsource.h"

#include <QEventLoop>
#include <QFile>

#include <exception>
#include <utility>

BurnController::BurnController(HotplugSource *hotplug, const PortSource *ports, QObject *parent)
    : QObject(parent), hotplug(hotplug), ports(ports)
{
    upgradeTimer.setSingleShot(true);
    connect(&upgradeTimer, &QTimer::timeout, this, &BurnController::upgradeTimedOut);
    context.moveToThread(&thread);
}

BurnController::~BurnController()
{
    endThread();
}

// The thread lives for one run only: an idle band holds no thread, and
// nothing of its run stays behind in that thread's memory.
void BurnController::beginThread()
{
    if (!thread.isRunning())
        thread.start();
}

void BurnController::endThread()
{
    if (!thread.isRunning())
        return;
    // The cycle's threads and timers are its thread's: they end there.
    QMetaObject::invokeMethod(&context, [this] {
        cycle.reset(); // stops a running cycle and waits for its burn
        hotplugHere.reset();
        portsHere.reset();
    }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
}

void BurnController::setLocation(const QString &location)
{
    if (location == place || running || resetting)
        return;
    place = location;
}

void BurnController::setRecordStore(RecordStore *recordStore)
{
    store = recordStore;
}

void BurnController::setRecordKeeper(RecordKeeper recordKeeper)
{
    keeper = std::move(recordKeeper);
}

// A cycle that sees only its band's place: its disk, its port.
void BurnController::makeCycle()
{
    if (!place.isEmpty() && !ports && !systemPorts)
        systemPorts = std::make_unique<SystemPortSource>();
    beginThread();
    QMetaObject::invokeMethod(&context, [this] {
        cycle.reset();
        hotplugHere.reset();
        portsHere.reset();
        if (hotplug)
            hotplugHere = std::make_unique<HotplugAtLocation>(hotplug, place);
        if (!place.isEmpty())
            portsHere = std::make_unique<PortsAtLocation>(ports ? *ports : *systemPorts, place);
        cycle = std::make_unique<BurnCycle>(hotplugHere.get(), portsHere ? portsHere.get() : ports);
    }, Qt::BlockingQueuedConnection);
    connect(cycle.get(), &BurnCycle::stageChanged, this, [this](BurnReport::Stage stage) {
        currentStage = stage;
        emit stageChanged(stage);
    });
    connect(cycle.get(), &BurnCycle::stepStarted, this, &BurnController::stepStarted);
    connect(cycle.get(), &BurnCycle::stepReported, this, &BurnController::stepReported);
    connect(cycle.get(), &BurnCycle::finished, this, &BurnController::onFinished);
}

bool BurnController::start(const BurnCycleOptions &options)
{
    if (running || resetting)
        return false;
    if (options.diskRoot.isEmpty() && !hotplugStarted) {
        if (!hotplug || !hotplug->start())
            return false;
        hotplugStarted = true;
    }
    BurnCycleOptions own = options;
    if (own.bandLocation.isEmpty())
        own.bandLocation = place;
    makeCycle();
    bool started = false;
    QMetaObject::invokeMethod(&context, [this, &own, &started] { started = cycle->start(own); },
                              Qt::BlockingQueuedConnection);
    if (!started) {
        endThread();
        return false;
    }
    running = true;
    const bool upgrades = own.upgradePort >= 0 || !own.upgradeDevice.isEmpty();
    currentStage = upgrades ? BurnReport::Stage::Upgrade
        : own.diskRoot.isEmpty() ? BurnReport::Stage::DiskWait : BurnReport::Stage::Burn;
    return true;
}

void BurnController::reset(const QString &devicePath, const QString &usbLocation, int upgradeTimeoutMs)
{
    if (running || resetting)
        return;
    resetting = true;
    watchDisks();
    // The band comes back as a disk in the same USB port: only that disk is taken.
    diskWatch->setBandLocation(usbLocation);
    resetBluetooth.clear();
    upgradeTimer.setInterval(upgradeTimeoutMs);
    const std::string path = QFile::encodeName(devicePath).toStdString();
    beginThread();
    QMetaObject::invokeMethod(&context, [this, path] {
        BandIdentity identity;
        UpgradeResult result = UpgradeResult::NotAnswered;
        try {
            LinkChannel link(path);
            result = upgradeBand(link, &identity);
        } catch (const std::exception &) {
            result = UpgradeResult::NotAnswered; // as a band that did not take it
        }
        QMetaObject::invokeMethod(this, [this, result, identity] {
            resetting = false;
            if (!running)
                endThread();
            if (result == UpgradeResult::Sent) {
                resetBluetooth = identity.bluetooth;
                upgradeTimer.start();
            }
            emit resetDone(result);
        }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
}

void BurnController::watchDisks()
{
    if (diskWatch)
        return;
    diskWatch = std::make_unique<BandDiskWatch>(hotplug);
    connect(diskWatch.get(), &BandDiskWatch::diskMounted, this, &BurnController::onDiskMounted);
    connect(diskWatch.get(), &BandDiskWatch::bandRemoved, this, &BurnController::onBandRemoved);
}

bool BurnController::burn(const BurnCycleOptions &options)
{
    if (diskRoot.isEmpty())
        return false;
    BurnCycleOptions own = options;
    own.diskRoot = diskRoot;
    own.expectedBluetooth = resetBluetooth;
    own.waitForPort = true;
    return start(own);
}

void BurnController::stop(const QString &reason)
{
    if (!running)
        return;
    QMetaObject::invokeMethod(&context, [this, reason] {
        if (cycle)
            cycle->stop(reason);
    }, Qt::QueuedConnection);
}

void BurnController::stopAndWait(const QString &reason, int budgetMs)
{
    if (!running)
        return;
    QEventLoop loop;
    connect(this, &BurnController::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(budgetMs, &loop, &QEventLoop::quit);
    stop(reason);
    loop.exec();
}

void BurnController::onFinished(BurnReport report)
{
    running = false;
    currentStage = report.stage;
    endThread(); // before anyone hears of the end and starts again
    keepRecord(report);
    emit finished(report);
    if (!pendingDiskRoot.isEmpty()) {
        diskRoot = std::exchange(pendingDiskRoot, QString());
        emit diskReady(diskRoot);
    }
}

void BurnController::onDiskMounted(const QString &root)
{
    upgradeTimer.stop();
    // A running burn keeps the disk it started on; one that is ending after
    // its band was removed hands over to the new disk once it has ended.
    if (running) {
        if (currentStage == BurnReport::Stage::PortWait) {
            // A disk instead of the band's port: that band did not start its
            // firmware, or another one came; either way it is burned anew.
            pendingDiskRoot = root;
            stop(QStringLiteral("a band's disk appeared instead of its port"));
        } else if (diskRoot.isEmpty()) {
            pendingDiskRoot = root;
        }
        return;
    }
    diskRoot = root;
    emit diskReady(root);
}

void BurnController::onBandRemoved()
{
    diskRoot.clear();
    pendingDiskRoot.clear();
    // After a burn the band leaves as a disk to restart by itself; a burn
    // in progress is cut (it reports the step it was in as failed).
    if (running && currentStage != BurnReport::Stage::PortWait)
        stop();
    emit diskGone();
}

void BurnController::keepRecord(const BurnReport &report)
{
    if (!store)
        return;
    RunRecord record = recordOf(*store, report, place);
    if (keeper)
        keeper(record, report);
    else
        store->write(record); // a problem shows where the store's problems show
}

RunRecord BurnController::recordOf(const RecordStore &store, const BurnReport &report, const QString &location)
{
    RunRecord record = store.begin(QStringLiteral("burner"));
    fillBurnRecord(record, report);
    if (!location.isEmpty())
        record.usbPath = location;
    return record;
}

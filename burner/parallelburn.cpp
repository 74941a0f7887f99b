#include "parallelburn.h"

#include "bandchannel.h"
#include "bandports.h"
#include "hotplugatlocation.h"
#include "hotplugsource.h"
#include "portsatlocation.h"

#include <QThread>

// One band: its cycle lives on its own thread, its hot-plug events and
// ports are those of its USB location alone.
class ParallelBurn::Band {
public:
    Band(HotplugSource *shared, const PortSource &ports, const QString &location)
        : location(location), portsHere(ports, location)
    {
        context.moveToThread(&thread);
        thread.start();
        // Made on the band's thread, so that its timers and threads belong there.
        QMetaObject::invokeMethod(&context, [this, shared] {
            hotplugHere = std::make_unique<HotplugAtLocation>(shared, this->location);
            cycle = std::make_unique<BurnCycle>(hotplugHere.get(), &portsHere);
        }, Qt::BlockingQueuedConnection);
    }
    ~Band()
    {
        if (thread.isRunning()) {
            QMetaObject::invokeMethod(&context, [this] {
                cycle.reset(); // stops a running cycle and waits for its threads
                hotplugHere.reset();
            }, Qt::BlockingQueuedConnection);
        }
        thread.quit();
        thread.wait();
    }

    QThread thread;
    QObject context; // moved to the thread: what runs there is invoked on it
    const QString location;
    PortsAtLocation portsHere;
    std::unique_ptr<HotplugAtLocation> hotplugHere;
    std::unique_ptr<BurnCycle> cycle;
};

ParallelBurn::ParallelBurn(HotplugSource *hotplug, const PortSource *ports, QObject *parent)
    : QObject(parent), hotplug(hotplug), ports(ports)
{
}

ParallelBurn::~ParallelBurn()
{
    tearDown();
}

bool ParallelBurn::start(const QList<BurnSlot> &places, const BurnCycleOptions &options)
{
    if (pending > 0 || !ports)
        return false;
    if (!hotplugStarted) {
        if (!hotplug || !hotplug->start())
            return false;
        hotplugStarted = true;
    }
    tearDown();
    reports = QList<BurnReport>(places.size());
    pending = int(places.size());
    for (int slot = 0; slot < places.size(); ++slot) {
        const BurnSlot &where = places[slot];
        if (where.usbPath.isEmpty() || where.port < 0 || where.port > 255) {
            // Without its location a band's disk could be a neighbour's.
            BurnReport refused;
            refused.startedAt = QDateTime::currentDateTimeUtc();
            refused.files = options.files;
            refused.stage = BurnReport::Stage::Upgrade;
            refused.error = where.usbPath.isEmpty()
                ? QStringLiteral("the band's USB location is unknown, so its disk could not be told from another band's")
                : QStringLiteral("the band has no port number to send the upgrade on");
            reports[slot] = refused;
            bands.push_back(nullptr);
            continue;
        }
        bands.push_back(std::make_unique<Band>(hotplug, *ports, where.usbPath));
        Band &band = *bands.back();
        BurnCycleOptions own = options;
        if (!own.openBand) {
            own.openBand = [](quint8 port) {
                return std::make_unique<LinkChannel>(serialDevicePath(bandPortName(port)).toStdString());
            };
        }
        own.upgradePort = where.port;
        own.logLocation = where.usbPath;
        own.bandLocation = where.usbPath;
        connect(band.cycle.get(), &BurnCycle::stageChanged, this,
                [this, slot](BurnReport::Stage stage) { emit stageChanged(slot, stage); });
        connect(band.cycle.get(), &BurnCycle::finished, this,
                [this, slot](const BurnReport &report) { onBandFinished(slot, report); });
        QMetaObject::invokeMethod(&band.context, [&band, own] {
            if (!band.cycle->start(own)) {
                BurnReport failed;
                failed.startedAt = QDateTime::currentDateTimeUtc();
                failed.error = QStringLiteral("the band's cycle could not start");
                emit band.cycle->finished(failed);
            }
        }, Qt::QueuedConnection);
    }
    for (int slot = 0; slot < places.size(); ++slot) {
        if (!bands[size_t(slot)])
            QMetaObject::invokeMethod(this, [this, slot] { onBandFinished(slot, reports[slot]); }, Qt::QueuedConnection);
    }
    if (places.isEmpty())
        QMetaObject::invokeMethod(this, [this] { emit finished(reports); }, Qt::QueuedConnection);
    return true;
}

void ParallelBurn::stop(const QString &reason)
{
    for (const auto &band : bands) {
        if (band)
            QMetaObject::invokeMethod(&band->context, [&band = *band, reason] { band.cycle->stop(reason); },
                                      Qt::QueuedConnection);
    }
}

bool ParallelBurn::isRunning() const
{
    return pending > 0;
}

void ParallelBurn::onBandFinished(int slot, const BurnReport &report)
{
    reports[slot] = report;
    emit bandFinished(slot, report);
    if (--pending == 0)
        emit finished(reports);
}

void ParallelBurn::tearDown()
{
    bands.clear();
}

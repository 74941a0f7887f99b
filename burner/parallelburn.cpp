#include "parallelburn.h"

#include "bandchannel.h"
#include "bandports.h"
#include "hotplugsource.h"

ParallelBurn::ParallelBurn(HotplugSource *hotplug, const PortSource *ports, QObject *parent)
    : QObject(parent), hotplug(hotplug), ports(ports)
{
}

ParallelBurn::~ParallelBurn() = default; // each controller stops and waits for its thread

void ParallelBurn::setRecords(RecordStore *recordStore, RecordKeeper recordKeeper)
{
    store = recordStore;
    keeper = std::move(recordKeeper);
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
    bands.clear();
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
        auto band = std::make_unique<BurnController>(hotplug, ports);
        band->setLocation(where.usbPath);
        if (store) {
            band->setRecordStore(store);
            if (keeper)
                band->setRecordKeeper([this, slot](RunRecord &record, const BurnReport &report) { keeper(slot, record, report); });
        }
        BurnCycleOptions own = options;
        if (!own.openBand) {
            own.openBand = [](quint8 port) {
                return std::make_unique<LinkChannel>(serialDevicePath(bandPortName(port)).toStdString());
            };
        }
        own.upgradePort = where.port;
        own.logLocation = where.usbPath;
        connect(band.get(), &BurnController::stageChanged, this,
                [this, slot](BurnReport::Stage stage) { emit stageChanged(slot, stage); });
        connect(band.get(), &BurnController::finished, this,
                [this, slot](const BurnReport &report) { onBandFinished(slot, report); });
        if (!band->start(own)) {
            reports[slot].startedAt = QDateTime::currentDateTimeUtc();
            reports[slot].error = QStringLiteral("the band's cycle could not start");
            band.reset();
        }
        bands.push_back(std::move(band));
    }
    for (int slot = 0; slot < places.size(); ++slot) {
        if (bands[size_t(slot)])
            continue;
        if (store) {
            RunRecord record = BurnController::recordOf(*store, reports[slot], places[slot].usbPath);
            keeper ? keeper(slot, record, reports[slot]) : void(store->write(record));
        }
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
            band->stop(reason);
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

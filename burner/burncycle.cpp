#include "burncycle.h"

#include "bandchannel.h"
#include "bandports.h"
#include "portsource.h"
#include "bandupgrade.h"
#include "hotplugsource.h"

#include <QFile>
#include <QFileInfo>

#include <exception>

namespace {

// The band's port is looked for this often while it is expected back.
constexpr int kPortPollMs = 200;
// A band that has just come back may need a moment before it answers.
constexpr int kIdentityRetryMs = 300;

qint64 fileBytes(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() ? info.size() : -1;
}

} // namespace

BurnCycle::BurnCycle(HotplugSource *hotplug, const PortSource *ports, QObject *parent)
    : QObject(parent), hotplug(hotplug), diskWatch(hotplug), burnProcess(this), ports(ports)
{
    stageTimer.setSingleShot(true);
    connect(&stageTimer, &QTimer::timeout, this, &BurnCycle::onTimeout);
    retryTimer.setSingleShot(true);
    retryTimer.setInterval(kIdentityRetryMs);
    connect(&retryTimer, &QTimer::timeout, this, &BurnCycle::readReturnedBand);
    connect(&portTimer, &QTimer::timeout, this, &BurnCycle::lookForPort);
    connect(&diskWatch, &BandDiskWatch::diskMounted, this, &BurnCycle::onDiskMounted);
    connect(&diskWatch, &BandDiskWatch::bandRemoved, this, &BurnCycle::onBandRemoved);
    connect(&burnProcess, &CBurnProcess::stepStarted, this, &BurnCycle::stepStarted);
    connect(&burnProcess, &CBurnProcess::processOk, this, &BurnCycle::onStepReported);
    connect(&burnProcess, &QThread::finished, this, &BurnCycle::onBurnEnded);
}

BurnCycle::~BurnCycle()
{
    burnProcess.stop();
}

bool BurnCycle::start(const BurnCycleOptions &newOptions)
{
    if (running || burnProcess.isRunning())
        return false;
    if (newOptions.diskRoot.isEmpty() && !hotplugStarted) {
        if (!hotplug || !hotplug->start())
            return false;
        hotplugStarted = true;
    }
    options = newOptions;
    diskWatch.setBandLocation(options.bandLocation);
    if (options.pauseMs >= 0)
        burnProcess.setPauseMs(options.pauseMs);
    burnProcess.setSourceFolder(options.sourceFolder);
    burnProcess.setLogLocation(options.logLocation);
    report = BurnReport();
    report.files = options.files;
    report.startedAt = QDateTime::currentDateTimeUtc();
    report.sourceFolder = burnProcess.sourceFolder();
    report.stage = upgrades() ? BurnReport::Stage::Upgrade
        : options.diskRoot.isEmpty()        ? BurnReport::Stage::DiskWait
                                            : BurnReport::Stage::Burn;
    report.cfgBytes = fileBytes(report.sourceFolder + options.files.cfgName);
    report.binBytes = fileBytes(report.sourceFolder + options.files.binName);
    burnInterrupted = false;
    stopReason.clear();
    running = true;
    clock.start();
    // After the caller has returned, so that it sees every signal.
    QMetaObject::invokeMethod(this, &BurnCycle::proceed, Qt::QueuedConnection);
    return true;
}

void BurnCycle::stop(const QString &reason)
{
    if (!running)
        return;
    if (stopReason.isEmpty())
        stopReason = reason;
    if (report.stage == BurnReport::Stage::Burn && burnProcess.isRunning()) {
        // The burn reports the step it was in as failed, then ends.
        burnInterrupted = true;
        burnProcess.requestStop(reason);
        return;
    }
    if (report.stage == BurnReport::Stage::PortWait) {
        report.failedStep = BurnReport::kResultStep;
        report.steps[BurnReport::kResultStep] = BurnReport::StepResult::Failed;
    }
    finish(BurnReport::Outcome::Interrupted, stopReason);
}

bool BurnCycle::isRunning() const
{
    return running;
}

BurnReport::Stage BurnCycle::stage() const
{
    return report.stage;
}

void BurnCycle::proceed()
{
    if (!running)
        return; // stopped before it began
    if (upgrades() && !sendUpgrade())
        return;
    if (!options.diskRoot.isEmpty())
        startBurn(options.diskRoot);
    else
        enterStage(BurnReport::Stage::DiskWait, options.diskTimeoutMs);
}

bool BurnCycle::upgrades() const
{
    return options.upgradePort >= 0 || !options.upgradeDevice.isEmpty();
}

// Talks to the band on this (the cycle's) thread: a silent band holds up
// nothing else.
bool BurnCycle::sendUpgrade()
{
    enterStage(BurnReport::Stage::Upgrade, 0);
    const int port = options.upgradePort;
    BandIdentity before;
    UpgradeResult upgrade = UpgradeResult::NotAnswered;
    try {
        upgrade = upgradeBand(*channelFor(quint8(qMax(port, 0)), options.upgradeDevice), &before);
    } catch (const std::exception &e) {
        finish(BurnReport::Outcome::Fail, QStringLiteral("the upgrade failed: %1").arg(QString::fromLocal8Bit(e.what())));
        return false;
    }
    if (options.expectedBluetooth.isEmpty())
        options.expectedBluetooth = before.bluetooth;
    switch (upgrade) {
    case UpgradeResult::OpenFailed:
        finish(BurnReport::Outcome::Fail, port >= 0 ? QStringLiteral("cannot open port %1").arg(port)
                                                    : QStringLiteral("cannot open %1").arg(options.upgradeDevice));
        return false;
    case UpgradeResult::NotAnswered:
        finish(BurnReport::Outcome::Fail,
               port >= 0 ? QStringLiteral("the band on port %1 did not take the upgrade command").arg(port)
                         : QStringLiteral("the band did not take the upgrade command"));
        return false;
    case UpgradeResult::Sent:
        break;
    }
    return true;
}

void BurnCycle::onDiskMounted(const QString &root)
{
    if (running && report.stage == BurnReport::Stage::DiskWait)
        startBurn(root);
}

void BurnCycle::onBandRemoved()
{
    // Its disk leaves by itself after a burn; only a burn in progress is cut.
    if (running && report.stage == BurnReport::Stage::Burn && burnProcess.isRunning()) {
        burnInterrupted = true;
        burnProcess.requestStop();
    }
}

void BurnCycle::onStepReported(uint idx, bool passed)
{
    if (idx >= uint(BurnReport::kResultStep))
        return;
    report.steps[idx] = passed ? BurnReport::StepResult::Passed : BurnReport::StepResult::Failed;
    if (!passed)
        report.failedStep = int(idx);
    emit stepReported(idx, passed);
}

void BurnCycle::onBurnEnded()
{
    if (!running || report.stage != BurnReport::Stage::Burn)
        return;
    const QHash<QString, CopyResult> copies = burnProcess.copies();
    report.cfgSha256 = copies.value(options.files.cfgName).sha256;
    report.cfgReadBackSha256 = copies.value(options.files.cfgName).diskSha256;
    report.binSha256 = copies.value(options.files.binName).sha256;
    report.binReadBackSha256 = copies.value(options.files.binName).diskSha256;
    const bool imageCopied = report.steps[7] == BurnReport::StepResult::Passed;
    if (!imageCopied || burnInterrupted) {
        report.steps[BurnReport::kResultStep] = BurnReport::StepResult::Failed;
        QString error = burnProcess.failureReason();
        if (error.isEmpty())
            error = stopReason.isEmpty() ? QStringLiteral("stopped") : stopReason;
        finish(burnInterrupted ? BurnReport::Outcome::Interrupted : BurnReport::Outcome::Fail, error);
        return;
    }
    if (!options.waitForPort) {
        report.steps[BurnReport::kResultStep] = BurnReport::StepResult::Passed;
        finish(BurnReport::Outcome::Pass);
        return;
    }
    enterStage(BurnReport::Stage::PortWait, options.portTimeoutMs);
    returnedPort = -1;
    returnedPath.clear();
    portTimer.start(kPortPollMs);
    lookForPort();
}

void BurnCycle::lookForPort()
{
    if (!running || report.stage != BurnReport::Stage::PortWait)
        return;
    static const SystemPortSource systemPorts;
    const PortSource &source = ports ? *ports : systemPorts;
    const QList<SerialPortEntry> listed = source.availablePorts();
    const qint32 found = firstBandPort(listed);
    if ((found == -1) == (returnedPort == -1))
        return; // only a change is news
    returnedPort = found;
    returnedPath = found == -1 ? QString() : source.devicePath(firstBandEntry(listed));
    if (found != -1)
        readReturnedBand();
    else
        retryTimer.stop();
}

// The version it answers with shows the new firmware has started; the
// address tells it from another band plugged in meanwhile, when known.
void BurnCycle::readReturnedBand()
{
    if (!running || report.stage != BurnReport::Stage::PortWait)
        return;
    BandIdentity identity;
    bool read = false;
    try {
        // A port number only for openBand; a link of its own needs the path alone.
        read = returnedPort != -1
            && readBandIdentity(*channelFor(quint8(returnedPort & 0xFF), returnedPath), &identity);
    } catch (const std::exception &) {
        read = false; // asked again, as a band that does not answer
    }
    if (!read) {
        retryTimer.start(); // the stage's time-out bounds the retries
        return;
    }
    report.version = identity.version;
    report.bluetooth = identity.bluetooth;
    if (!options.expectedBluetooth.isEmpty() && identity.bluetooth != options.expectedBluetooth) {
        report.steps[BurnReport::kResultStep] = BurnReport::StepResult::Failed;
        report.failedStep = BurnReport::kResultStep;
        finish(BurnReport::Outcome::Fail,
               QStringLiteral("another band (%1) came back instead of the one burned (%2)")
                   .arg(identity.bluetooth, options.expectedBluetooth));
        return;
    }
    report.steps[BurnReport::kResultStep] = BurnReport::StepResult::Passed;
    finish(BurnReport::Outcome::Pass);
}

void BurnCycle::onTimeout()
{
    if (!running)
        return;
    if (report.stage == BurnReport::Stage::DiskWait) {
        finish(BurnReport::Outcome::Fail,
               QStringLiteral("the band's disk did not appear within %1 s").arg(options.diskTimeoutMs / 1000.0));
    } else if (report.stage == BurnReport::Stage::PortWait) {
        report.steps[BurnReport::kResultStep] = BurnReport::StepResult::Failed;
        report.failedStep = BurnReport::kResultStep;
        finish(BurnReport::Outcome::Fail,
               retryTimer.isActive()
                   ? QStringLiteral("the band came back but did not tell its version within %1 s").arg(options.portTimeoutMs / 1000.0)
                   : QStringLiteral("the band's serial port did not return within %1 s").arg(options.portTimeoutMs / 1000.0));
    }
}

void BurnCycle::enterStage(BurnReport::Stage stage, int timeoutMs)
{
    report.stage = stage;
    stageTimer.stop();
    if (timeoutMs > 0)
        stageTimer.start(timeoutMs);
    emit stageChanged(stage);
}

void BurnCycle::startBurn(const QString &root)
{
    report.diskRoot = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    enterStage(BurnReport::Stage::Burn, 0);
    // Asked of the start itself: a burn that fails at once (no image, no
    // run.log) can have ended already, and its end is reported as its own.
    if (!burnProcess.startBurn(report.diskRoot, options.files))
        finish(BurnReport::Outcome::Fail, QStringLiteral("no file names to burn"));
}

std::unique_ptr<BandChannel> BurnCycle::channelFor(quint8 port, const QString &devicePath) const
{
    if (options.openBand)
        return options.openBand(port);
    return std::make_unique<LinkChannel>(QFile::encodeName(devicePath).toStdString());
}

void BurnCycle::finish(BurnReport::Outcome outcome, const QString &error)
{
    stageTimer.stop();
    retryTimer.stop();
    portTimer.stop();
    running = false;
    report.outcome = outcome;
    report.error = error;
    if (outcome == BurnReport::Outcome::Pass)
        report.stage = BurnReport::Stage::Done;
    report.elapsedMs = clock.elapsed();
    emit finished(report);
}

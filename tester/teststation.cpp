#include "teststation.h"

#include "defreasontext.h"
#include "stationproblem.h"
#include "testrecord.h"

#include <QCoreApplication>

namespace {

// A band that passed restarts; it has this long to come back to its slot.
constexpr int kReturnTimeoutMs = 15000;

SlotManager::Outcome slotOutcomeOf(TestResult::Outcome outcome)
{
    switch (outcome) {
    case TestResult::Outcome::Pass: return SlotManager::Outcome::Pass;
    case TestResult::Outcome::Fail: return SlotManager::Outcome::Fail;
    case TestResult::Outcome::Interrupted: return SlotManager::Outcome::Interrupted;
    }
    return SlotManager::Outcome::Fail;
}

} // namespace

TestStation::TestStation(int slotCount, const PortSource *ports, QObject *parent)
    : QObject(parent), manager(slotCount), ports(ports)
{
    manager.setRestartAfterPass(kReturnTimeoutMs);
    manager.setPassedMayStart(true);
    for (int slot = 0; slot < slotCount; ++slot) {
        auto controller = std::make_unique<TestController>(&store);
        connect(controller.get(), &TestController::stepStarted, this, [this, slot](int row) {
            emit stepStarted(slot, row);
        });
        connect(controller.get(), &TestController::finished, this, [this, slot](const TestResult &result) {
            onFinished(slot, result);
        });
        controllers.push_back(std::move(controller));
    }
    connect(&manager, &SlotManager::startDue, this, &TestStation::start);
}

TestStation::~TestStation()
{
    // Every run asked first, so that none runs on into a failure while another is waited for.
    for (const auto &controller : controllers)
        controller->requestStop();
}

bool TestStation::init(int pollMs)
{
    // Read before any band is seen: no band starts against an unusable def.xml.
    definitionUsable = defReader.read();
    TestDefinition definition;
    store.setIdentity(testerIdentity(defReader.getDefinition(&definition) ? definition.defSha256 : QString()));
    manager.setStationCheck([this] { return stationProblemText(definitionProblem()); });
    manager.startWatching(ports, pollMs);
    return definitionUsable;
}

QString TestStation::definitionProblem() const
{
    if (definitionUsable)
        return QString();
    return QCoreApplication::translate("MultiTestWindow", "无法打开或处理def.xml: %1")
        .arg(operatorDefReason(definitionFailure()));
}

bool TestStation::start(int slot)
{
    if (!definitionUsable || !manager.start(slot))
        return false;
    TestDefinition definition;
    const bool loaded = defReader.getDefinition(&definition);
    TestController &controller = *controllers[size_t(slot)];
    const QString location = manager.location(slot);
    // Asked on the run's thread after a failed step: a band pulled out is not failed.
    controller.setPresenceCheck([this, location] { return manager.isListed(location); });
    controller.start(manager.devicePath(slot), location, loaded ? std::optional(definition) : std::nullopt);
    emit started(slot);
    return true;
}

void TestStation::startAllReady()
{
    for (int slot = 0; slot < manager.size(); ++slot)
        if (manager.state(slot) == SlotManager::State::Ready)
            start(slot);
}

void TestStation::onFinished(int slot, const TestResult &result)
{
    manager.finish(slot, slotOutcomeOf(result.outcome));
    emit finished(slot, result);
}

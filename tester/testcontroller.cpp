#include "testcontroller.h"

#include "bandchannel.h"
#include "testrecord.h"

#include <QDebug>
#include <QFile>
#include <QThread>

#include <exception>

namespace {

// Every exchange ends within its budget, so a stopped run ends well within this.
constexpr int kStopWaitMs = 60000;

} // namespace

// One run: the sequence and its link on the thread's own stack.
class TestRun : public QThread {
    Q_OBJECT
public:
    TestRun(const QString &devicePath, const std::optional<TestDefinition> &definition,
            std::function<bool()> presence, TestController::Runner runner)
        : devicePath(devicePath), definition(definition), runner(std::move(runner))
    {
        sequence.setPresenceCheck(std::move(presence));
        sequence.setStepStarted([this](int row) { emit stepStarted(row); });
    }

    TestSequence sequence;
    TestResult result; // written by the run, read once it has finished

signals:
    void stepStarted(int row);

protected:
    void run() override
    {
        const TestDefinition *written = definition ? &*definition : nullptr;
        // A worker that fails in itself fails its own band only.
        try {
            LinkChannel link(QFile::encodeName(devicePath).toStdString());
            result = runner ? runner(sequence, link, written) : sequence.run(link, written);
        } catch (const std::exception &e) {
            result = TestResult();
            result.failedStep = QString::fromLocal8Bit(e.what());
        } catch (...) {
            result = TestResult();
            result.failedStep = QStringLiteral("worker failed");
        }
    }

private:
    const QString devicePath;
    const std::optional<TestDefinition> definition;
    const TestController::Runner runner;
};

TestController::TestController(RecordStore *store, QObject *parent) : QObject(parent), records(store)
{
}

TestController::~TestController()
{
    if (!run)
        return;
    run->sequence.requestStop();
    if (!run->wait(QDeadlineTimer(kStopWaitMs))) {
        // Never killed: left to end on its own, and gone once it has.
        qWarning() << "test run on" << path << "did not stop in time; its record is lost";
        run->disconnect(this);
        connect(run, &QThread::finished, run, &QObject::deleteLater);
        return;
    }
    lastResult = run->result;
    delete run;
    run = nullptr;
    keepRecord();
}

bool TestController::start(const QString &devicePath, const QString &usbLocation,
                           const std::optional<TestDefinition> &definition)
{
    if (run)
        return false;
    path = devicePath;
    location = usbLocation;
    defSha256 = definition ? definition->defSha256 : QString();
    run = new TestRun(devicePath, definition, presence, runnerOverride);
    connect(run, &TestRun::stepStarted, this, &TestController::stepStarted, Qt::QueuedConnection);
    connect(run, &QThread::finished, this, &TestController::collect, Qt::QueuedConnection);
    run->start();
    return true;
}

void TestController::requestStop()
{
    if (run)
        run->sequence.requestStop();
}

void TestController::collect()
{
    if (!run)
        return;
    run->wait(QDeadlineTimer(kStopWaitMs)); // it has finished: at once
    lastResult = run->result;
    delete run;
    run = nullptr;
    keepRecord();
    emit finished(lastResult);
}

void TestController::keepRecord()
{
    if (!records)
        return;
    lastRecord = records->begin(QStringLiteral("tester"));
    fillTestRecord(lastRecord, lastResult, defSha256);
    lastRecord.usbPath = location;
    lastRecord.simulated = lastRecord.simulated || simulated;
    kept = records->keep(lastRecord); // a problem is the owner's to show; the result stands as it is
    problem = kept == RecordStore::Kept::Stored ? QString() : records->problem();
}

#include "testcontroller.moc"

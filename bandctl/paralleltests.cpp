#include "paralleltests.h"

#include "bandchannel.h"
#include "bandset.h"
#include "devicecheck.h"
#include "interrupt.h"
#include "output.h"
#include "result.h"
#include "runrecords.h"
#include "subcommand.h"
#include "testrecord.h"
#include "testreport.h"
#include "testsequence.h"

#include <QEventLoop>
#include <QThread>

#include <memory>
#include <vector>

namespace {

// One band's run: its own link and thread, so that a band that fails,
// hangs within its budgets or is pulled out touches no other.
struct BandTest {
    AttachedBand band;
    TestSequence sequence;
    TestResult result;
    std::unique_ptr<QThread> thread;
};

// One line for people; the JSON form keeps every field.
Result summaryOf(const Result &full, const AttachedBand &band)
{
    const QJsonObject &json = full.json();
    QString line = band.label() + QStringLiteral(": ") + json.value(QStringLiteral("outcome")).toString();
    if (json.value(QStringLiteral("failed_step")).isString())
        line += QStringLiteral(" at ") + json.value(QStringLiteral("failed_step")).toString();
    if (json.value(QStringLiteral("error")).isString())
        line += QStringLiteral(" (") + json.value(QStringLiteral("error")).toString() + u')';
    if (json.value(QStringLiteral("record_problem")).isString())
        line += QStringLiteral(" (not recorded: ") + json.value(QStringLiteral("record_problem")).toString() + u')';
    return Result(json, line);
}

} // namespace

int runParallelTests(CommandContext &context, const TestDefinition &definition)
{
    BandSet set;
    if (const int code = set.find(context.options.band, context.out, QStringLiteral("test")); code != ExitOk)
        return code;

    std::vector<std::unique_ptr<BandTest>> tests;
    QEventLoop loop;
    int running = 0;
    for (const AttachedBand &band : set.bands()) {
        auto test = std::make_unique<BandTest>();
        test->band = band;
        BandTest *t = test.get();
        t->sequence.setPresenceCheck([device = band.device] { return deviceExists(device); });
        t->thread.reset(QThread::create([t, &definition] {
            LinkChannel link(t->band.device.toStdString());
            t->result = t->sequence.run(link, &definition);
        }));
        QObject::connect(t->thread.get(), &QThread::finished, &loop, [&running, &loop] {
            if (--running == 0)
                loop.quit();
        });
        tests.push_back(std::move(test));
    }
    const auto stopAll = [&tests] {
        for (const auto &test : tests)
            test->sequence.requestStop();
    };
    QObject::connect(&context.interrupt, &InterruptWatch::interrupted, &loop, stopAll, Qt::DirectConnection);
    if (InterruptWatch::requested())
        stopAll();
    for (const auto &test : tests) {
        ++running;
        test->thread->start();
    }
    loop.exec(); // every sequence ends within its exchanges' budgets
    for (const auto &test : tests)
        test->thread->wait();

    bool allPassed = true;
    bool recordLost = false;
    RecordStore store;
    for (const auto &test : tests) {
        Result shown = describeTestRun(test->result, test->band.device, test->band.usbPath);
        RunRecord record = store.begin(QStringLiteral("tester"));
        fillTestRecord(record, test->result);
        record.usbPath = test->band.usbPath;
        recordLost = keepRecord(store, record, shown, ExitOk) == ExitRecordLost || recordLost;
        context.out.print(summaryOf(shown, test->band));
        allPassed = allPassed && test->result.passed();
    }
    // A record that could not be kept anywhere outweighs any outcome.
    return recordLost ? int(ExitRecordLost) : allPassed ? int(ExitOk) : int(ExitBandFailed);
}

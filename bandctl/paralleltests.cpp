#include "paralleltests.h"

#include "bandset.h"
#include "devicecheck.h"
#include "exitcodes.h"
#include "interrupt.h"
#include "output.h"
#include "result.h"
#include "runrecords.h"
#include "subcommand.h"
#include "testcontroller.h"
#include "testrecord.h"
#include "testreport.h"

#include <QEventLoop>
#include <QSqlDatabase>

#include <memory>
#include <optional>
#include <vector>

namespace {

// Loads the SQLite driver and library now rather than when the record is written.
void loadDatabaseDriver()
{
    const QString name = QStringLiteral("bandctl-driver");
    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    QSqlDatabase::removeDatabase(name);
}

// One line for people; the JSON form keeps every field.
Result summaryOf(const Result &full, const QString &label)
{
    const QJsonObject &json = full.json();
    QString line = label + QStringLiteral(": ") + json.value(QStringLiteral("outcome")).toString();
    if (json.value(QStringLiteral("failed_step")).isString())
        line += QStringLiteral(" at ") + json.value(QStringLiteral("failed_step")).toString();
    if (json.value(QStringLiteral("error")).isString())
        line += QStringLiteral(" (") + json.value(QStringLiteral("error")).toString() + u')';
    if (json.value(QStringLiteral("record_problem")).isString())
        line += QStringLiteral(" (not recorded: ") + json.value(QStringLiteral("record_problem")).toString() + u')';
    return Result(json, line);
}

} // namespace

int runTests(CommandContext &context, const QList<BandToTest> &bands, const TestDefinition &definition)
{
    std::optional<RecordStore> store; // outlives the controllers
    std::vector<std::unique_ptr<TestController>> runs;
    QEventLoop loop;
    int running = 0;
    for (const BandToTest &band : bands) {
        auto controller = std::make_unique<TestController>();
        controller->setPresenceCheck(band.present);
        controller->setSimulated(isPseudoTerminal(band.device));
        QObject::connect(controller.get(), &TestController::finished, &loop, [&running, &loop] {
            if (--running == 0)
                loop.quit();
        });
        runs.push_back(std::move(controller));
    }
    const auto stopAll = [&runs] {
        for (const auto &run : runs)
            run->requestStop();
    };
    QObject::connect(&context.interrupt, &InterruptWatch::interrupted, &loop, stopAll);
    for (int i = 0; i < bands.size(); ++i)
        running += runs[size_t(i)]->start(bands[i].device, bands[i].usbPath, definition) ? 1 : 0;
    if (InterruptWatch::requested())
        stopAll();
    // The bands' pauses leave this thread idle: it gets the record's store
    // ready meanwhile, so that after a run only the record's own write remains.
    store.emplace();
    store->setIdentity(testerIdentity(definition.defSha256));
    loadDatabaseDriver();
    for (const auto &run : runs)
        run->setRecordStore(&*store);
    if (running > 0)
        loop.exec(); // every run ends within its exchanges' budgets

    bool allPassed = true;
    bool recordLost = false;
    for (int i = 0; i < bands.size(); ++i) {
        const TestController &run = *runs[size_t(i)];
        Result shown = describeTestRun(run.result(), bands[i].device, bands[i].usbPath);
        const bool passed = run.result().passed();
        const int code = noteRecord(*store, run.recordKept(), run.record(), shown, passed ? ExitOk : ExitBandFailed);
        recordLost = recordLost || code == ExitRecordLost;
        context.out.print(bands[i].label.isEmpty() ? shown : summaryOf(shown, bands[i].label));
        allPassed = allPassed && passed;
    }
    // A record that could not be kept anywhere outweighs any outcome.
    return recordLost ? int(ExitRecordLost) : allPassed ? int(ExitOk) : int(ExitBandFailed);
}

int runParallelTests(CommandContext &context, const TestDefinition &definition)
{
    BandSet set;
    if (const int code = set.find(context.options.band, context.out, QStringLiteral("test")); code != ExitOk)
        return code;
    QList<BandToTest> bands;
    for (const AttachedBand &band : set.bands())
        bands << BandToTest{band.device, band.usbPath, [device = band.device] { return deviceExists(device); },
                            band.label()};
    return runTests(context, bands, definition);
}

#include "paralleltests.h"

#include "bandports.h"
#include "interrupt.h"
#include "output.h"
#include "portsource.h"
#include "result.h"
#include "subcommand.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

// A child that runs longer than this is stopped: the sequence gives up
// within a few seconds even against a silent band.
constexpr int kChildBudgetMs = 60000;
constexpr int kChildGraceMs = 5000;

struct Child {
    QString device;
    QStringList bandOption;
    std::unique_ptr<QProcess> process;
};

// The bands to test: every --device given, every band port found, or with
// --usb-path the band ports at the locations given.
std::vector<Child> bandsToTest(const BandChoice &choice)
{
    std::vector<Child> children;
    if (choice.kind == BandChoice::Kind::Device) {
        for (const QString &device : choice.devices)
            children.push_back({device, {QStringLiteral("--device"), device}, nullptr});
    } else {
        for (const BandPort &band : bandPortsIn(SystemPortSource().availablePorts())) {
            if (choice.kind == BandChoice::Kind::UsbPath && !choice.usbPaths.contains(band.entry.usbLocation))
                continue;
            children.push_back({QStringLiteral("/dev/") + band.entry.portName,
                                {QStringLiteral("--port"), QString::number(band.number)}, nullptr});
        }
    }
    return children;
}

// Why a child's own "pass" cannot stand: it crashed, was stopped, or
// exited as if it had failed. Empty when its ending agrees with a pass.
QString endingAgainstPass(const QProcess &process)
{
    if (process.state() != QProcess::NotRunning)
        return QStringLiteral("the test process did not end");
    if (process.exitStatus() != QProcess::NormalExit)
        return QStringLiteral("the test process crashed or was stopped after its result");
    if (process.exitCode() != 0)
        return QStringLiteral("the test process ended with exit code %1 after its result").arg(process.exitCode());
    return {};
}

QJsonObject failure(const QString &device, const QString &step, const QJsonValue &error)
{
    return {{QStringLiteral("command"), QStringLiteral("test")}, {QStringLiteral("device"), device},
            {QStringLiteral("outcome"), QStringLiteral("fail")}, {QStringLiteral("failed_step"), step},
            {QStringLiteral("error"), error}};
}

// The child's test result, or a failure that says why there is none. A
// "pass" counts only from a child that then ended as a passing test does.
QJsonObject resultOf(Child &child)
{
    const QList<QByteArray> lines = child.process->readAllStandardOutput().split('\n');
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        QJsonObject object = QJsonDocument::fromJson(*line).object();
        if (object.value(QStringLiteral("command")) == QLatin1StringView("test")) {
            const QString why = endingAgainstPass(*child.process);
            if (object.value(QStringLiteral("outcome")) == QLatin1StringView("pass") && !why.isEmpty()) {
                object.insert(QStringLiteral("outcome"), QStringLiteral("fail"));
                object.insert(QStringLiteral("failed_step"), QStringLiteral("no result"));
                object.insert(QStringLiteral("error"), why);
            }
            return object;
        }
        if (object.contains(QStringLiteral("error")))
            return failure(child.device, QStringLiteral("open port"), object.value(QStringLiteral("error")));
    }
    return failure(child.device, QStringLiteral("no result"), QStringLiteral("the test process ended without a result"));
}

// The child's own JSON object, and one line for people.
Result summaryOf(const QJsonObject &object)
{
    QString line = object.value(QStringLiteral("device")).toString() + QStringLiteral(": ")
                   + object.value(QStringLiteral("outcome")).toString();
    if (object.contains(QStringLiteral("failed_step")))
        line += QStringLiteral(" at ") + object.value(QStringLiteral("failed_step")).toString();
    if (object.contains(QStringLiteral("error")))
        line += QStringLiteral(" (") + object.value(QStringLiteral("error")).toString() + u')';
    return Result(object, line);
}

// What a child wrote on standard error: its trace, or its messages.
void passOnErrorOutput(Child &child, bool tracing)
{
    const QByteArray text = child.process->readAllStandardError();
    if (text.isEmpty())
        return;
    if (tracing) {
        std::printf("== %s\n%s", qPrintable(child.device), text.constData()); // fd 1 is the trace
        return;
    }
    for (const QByteArray &line : text.split('\n')) {
        if (!line.isEmpty())
            std::fprintf(stderr, "%s: %s\n", qPrintable(child.device), line.constData());
    }
}

} // namespace

int runParallelTests(CommandContext &context, const QString &defFile)
{
    const BandChoice &choice = context.options.band;
    if (choice.kind == BandChoice::Kind::Simulate || choice.kind == BandChoice::Kind::Port)
        return context.out.fail(ExitUsage, QStringLiteral("test --all takes the bands it finds, or every --device or --usb-path given"));
    // The same band twice would fail its second test on a port in use.
    for (const QString &device : choice.devices) {
        if (choice.devices.count(device) > 1)
            return context.out.fail(ExitUsage, QStringLiteral("--device %1 given twice").arg(device));
    }
    for (const QString &location : choice.usbPaths) {
        if (choice.usbPaths.count(location) > 1)
            return context.out.fail(ExitUsage, QStringLiteral("--usb-path %1 given twice").arg(location));
    }
    std::vector<Child> children = bandsToTest(choice);
    if (children.empty())
        return context.out.fail(ExitNoBand, QStringLiteral("no band found to test"));
    if (choice.kind == BandChoice::Kind::UsbPath && qsizetype(children.size()) != choice.usbPaths.size())
        return context.out.fail(ExitNoBand, QStringLiteral("not every --usb-path given has a band on a serial port (bandctl list shows where the bands are)"));

    QEventLoop loop;
    int running = 0;
    for (Child &child : children) {
        child.process = std::make_unique<QProcess>();
        QStringList arguments = {QStringLiteral("test"), QStringLiteral("--json"), QStringLiteral("--def"), defFile};
        arguments += child.bandOption;
        if (context.options.trace)
            arguments += QStringLiteral("--trace");
        QObject::connect(child.process.get(), &QProcess::finished, &loop, [&] {
            if (--running == 0)
                loop.quit();
        });
        child.process->start(context.program, arguments);
        ++running;
    }
    // Ctrl-C from a terminal reaches the children too; SIGTERM is passed on.
    QObject::connect(&context.interrupt, &InterruptWatch::interrupted, &loop, [&] {
        for (Child &child : children)
            child.process->terminate();
    });
    QTimer budget;
    budget.setSingleShot(true);
    QObject::connect(&budget, &QTimer::timeout, &loop, [&] {
        for (Child &child : children)
            child.process->terminate();
        QTimer::singleShot(kChildGraceMs, &loop, [&] {
            for (Child &child : children)
                child.process->kill();
        });
    });
    budget.start(kChildBudgetMs);
    for (Child &child : children) {
        if (!child.process->waitForStarted(kChildGraceMs))
            --running;
    }
    if (running > 0)
        loop.exec();

    bool allPassed = true;
    for (Child &child : children) {
        passOnErrorOutput(child, context.options.trace);
        const QJsonObject result = resultOf(child);
        allPassed = allPassed && result.value(QStringLiteral("outcome")) == QLatin1StringView("pass");
        context.out.print(summaryOf(result));
    }
    return allPassed ? ExitOk : ExitBandFailed;
}

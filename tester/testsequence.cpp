#include "testsequence.h"

#include "bandchannel.h"

#include <QFile>
#include <QThread>


namespace {

constexpr int kPassed = -1;

// A port another program holds is no fault of the band: the record and the
// operator are told so.
void noteHeldPort(const BandChannel &band, TestResult &r)
{
    if (!band.heldElsewhere())
        return;
    r.portHeld = true;
    r.error = QStringLiteral("%1 is in use by another program").arg(QFile::decodeName(band.devicePath().c_str()));
}

} // namespace

QString TestSequence::stepName(int row)
{
    switch (row) {
    case RowOpenPort: return QStringLiteral("open port");
    case RowGetVersion: return QStringLiteral("read version");
    case RowSetTime: return QStringLiteral("set time");
    case RowGetTime: return QStringLiteral("read time");
    case RowSetLed: return QStringLiteral("write LEDs");
    case RowGetLed: return QStringLiteral("read LEDs");
    case RowSetConf: return QStringLiteral("write settings");
    case RowGetConf: return QStringLiteral("read settings");
    case RowSetAlarms: return QStringLiteral("write alarms");
    case RowGetAlarms: return QStringLiteral("read alarms");
    case RowReset: return QStringLiteral("restart");
    case RowClosePort: return QStringLiteral("close port");
    default: return QString();
    }
}

QString TestSequence::outcomeName(TestResult::Outcome outcome)
{
    switch (outcome) {
    case TestResult::Outcome::Pass: return QStringLiteral("pass");
    case TestResult::Outcome::Fail: return QStringLiteral("fail");
    case TestResult::Outcome::Interrupted: return QStringLiteral("interrupted");
    }
    return QString();
}

void TestSequence::setPresenceCheck(std::function<bool()> check)
{
    bandPresent = std::move(check);
}

void TestSequence::setStepStarted(std::function<void(int row)> started)
{
    stepStarted = std::move(started);
}

void TestSequence::requestStop()
{
    stopRequested = true;
}

TestResult TestSequence::run(BandChannel &band, const TestDefinition *definition)
{
    TestResult r;
    r.started = QDateTime::currentDateTime();
    const int failedRow = runSteps(band, definition, r);
    if (failedRow == kPassed) {
        band.close();
        r.outcome = TestResult::Outcome::Pass;
    } else {
        const bool pulledOut = bandPresent && !bandPresent();
        r.outcome = stopRequested || pulledOut ? TestResult::Outcome::Interrupted : TestResult::Outcome::Fail;
        r.failedRow = failedRow;
        r.failedStep = stepName(failedRow);
    }
    r.finished = QDateTime::currentDateTime();
    return r;
}

// Returns the row of the first step that failed, or kPassed. A stop request
// counts as a failure of the step that was next.
int TestSequence::runSteps(BandChannel &band, const TestDefinition *definition, TestResult &r)
{
    const auto go = [this](int row) {
        if (stepStarted)
            stepStarted(row);
        return !stopRequested.load();
    };
    // Writes an item in one step and reads it back in the next; what the
    // band stored otherwise fails the read-back, naming each field.
    const auto writeAndReadBack = [&](int setRow, auto write, int getRow, auto read, bool &readValid, auto compare) {
        if (!go(setRow) || !write())
            return setRow;
        if (!go(getRow) || !read())
            return getRow;
        readValid = true;
        r.differences = compare();
        return r.differences.isEmpty() ? kPassed : getRow;
    };

    if (!go(RowOpenPort))
        return RowOpenPort;
    if (!band.open()) {
        noteHeldPort(band, r);
        return RowOpenPort;
    }
    if (!go(RowGetVersion) || !band.getVersion(&r.version))
        return RowGetVersion;
    r.sentTime = bandTimeOf(QDateTime::currentDateTime());
    if (!go(RowSetTime) || !band.setTime(&r.sentTime))
        return RowSetTime;
    QThread::msleep(5);
    if (!go(RowGetTime) || !band.getTime(&r.readTime))
        return RowGetTime;

    // Without def.xml nothing is there to write: the first step that writes fails.
    if (!definition) {
        go(RowSetLed);
        return RowSetLed;
    }
    const auto writeLed = [&] {
        r.sentLed = definition->led;
        return band.setLed(&r.sentLed);
    };
    if (const int row = writeAndReadBack(RowSetLed, writeLed, RowGetLed, [&] { return band.getLed(&r.readLed); },
                                         r.readLedValid, [&] { return ledDifferences(r.sentLed, r.readLed); });
        row != kPassed)
        return row;

    const auto writeConf = [&] {
        r.sentConf = definition->person;
        return band.setConf(&r.sentConf);
    };
    if (const int row = writeAndReadBack(RowSetConf, writeConf, RowGetConf, [&] { return band.getConf(&r.readConf); },
                                         r.readConfValid, [&] { return confDifferences(r.sentConf, r.readConf); });
        row != kPassed)
        return row;

    // Without a table in def.xml the band keeps its own: the one it holds
    // now is what is written and must read back.
    const auto writeAlarms = [&] {
        if (definition->alarms)
            r.sentAlarms = *definition->alarms;
        else if (!band.getAlarms(r.sentAlarms.data()))
            return false;
        return band.setAlarms(r.sentAlarms.data());
    };
    if (const int row = writeAndReadBack(RowSetAlarms, writeAlarms, RowGetAlarms,
                                         [&] { return band.getAlarms(r.readAlarms.data()); }, r.readAlarmsValid,
                                         [&] { return alarmDifferences(r.sentAlarms, r.readAlarms); });
        row != kPassed)
        return row;

    if (!go(RowReset) || !band.reset())
        return RowReset;
    return kPassed;
}

sb_time_t TestSequence::bandTimeOf(const QDateTime &local)
{
    const QDate date = local.date();
    const QTime time = local.time();
    sb_time_t t{};
    t.second = quint8(time.second());
    t.minute = quint8(time.minute());
    t.hour = quint8(time.hour());
    t.day = quint8(date.day() - 1);
    t.month = quint8(date.month() - 1);
    t.year = date.year() < 2000 ? 0 : quint8((date.year() - 2000) & 0xFF);
    return t;
}

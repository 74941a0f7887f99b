#include "testsequence.h"

#include <QFile>
#include <QThread>

#include <cstring>

namespace {

constexpr int kPassed = -1;

// The process-wide link on a port number.
struct PortLink {
    int port;
    bool open() { return port >= 0 && port <= 255 && sb_init(quint8(port)); }
    void closeAfterPass() { sb_exit(); }
    bool getVersion(sb_version_t *v) { return sb_getVersion(v); }
    bool setTime(const sb_time_t *t) { return sb_setTime(t); }
    bool getTime(sb_time_t *t) { return sb_getTime(t); }
    bool setConf(const sb_conf_t *c) { return sb_setSBConf(c); }
    bool getConf(sb_conf_t *c) { return sb_getSBConf(c); }
    bool reset() { return sb_reset(); }
};

// A link of its own on a device path.
struct DeviceLink {
    QByteArray path;
    sb_link *link = nullptr;
    ~DeviceLink() { sb_link_close(link); }
    bool open() { return !path.isEmpty() && (link = sb_link_open(path.constData())) != nullptr; }
    void closeAfterPass() {}
    bool getVersion(sb_version_t *v) { return sb_link_getVersion(link, v); }
    bool setTime(const sb_time_t *t) { return sb_link_setTime(link, t); }
    bool getTime(sb_time_t *t) { return sb_link_getTime(link, t); }
    bool setConf(const sb_conf_t *c) { return sb_link_setSBConf(link, c); }
    bool getConf(sb_conf_t *c) { return sb_link_getSBConf(link, c); }
    bool reset() { return sb_link_reset(link); }
};

} // namespace

QString TestSequence::stepName(int row)
{
    switch (row) {
    case RowOpenPort: return QStringLiteral("open port");
    case RowGetVersion: return QStringLiteral("read version");
    case RowSetTime: return QStringLiteral("set time");
    case RowGetTime: return QStringLiteral("read time");
    case RowSetConf: return QStringLiteral("write settings");
    case RowGetConf: return QStringLiteral("read settings");
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

TestResult TestSequence::run(int port, const sb_conf_t *person)
{
    PortLink link{port};
    return runWith(link, person);
}

TestResult TestSequence::runOnDevice(const QString &devicePath, const sb_conf_t *person)
{
    DeviceLink link{QFile::encodeName(devicePath)};
    return runWith(link, person);
}

template <class Link>
TestResult TestSequence::runWith(Link &link, const sb_conf_t *person)
{
    TestResult r;
    r.started = QDateTime::currentDateTime();
    const int failedRow = runSteps(link, person, r);
    if (failedRow == kPassed) {
        link.closeAfterPass();
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
template <class Link>
int TestSequence::runSteps(Link &link, const sb_conf_t *person, TestResult &r)
{
    const auto go = [this](int row) {
        if (stepStarted)
            stepStarted(row);
        return !stopRequested.load();
    };
    if (!go(RowOpenPort) || !link.open())
        return RowOpenPort;
    if (!go(RowGetVersion) || !link.getVersion(&r.version))
        return RowGetVersion;
    r.sentTime = bandTimeOf(QDateTime::currentDateTime());
    if (!go(RowSetTime) || !link.setTime(&r.sentTime))
        return RowSetTime;
    QThread::msleep(5);
    if (!go(RowGetTime) || !link.getTime(&r.readTime))
        return RowGetTime;
    if (!go(RowSetConf) || !person)
        return RowSetConf;
    r.sentConf = *person;
    if (!link.setConf(&r.sentConf))
        return RowSetConf;
    if (!go(RowGetConf) || !link.getConf(&r.readConf))
        return RowGetConf;
    r.readConfValid = true;
    if (std::memcmp(&r.readConf, &r.sentConf, sizeof(sb_conf_t)) != 0)
        return RowGetConf;
    if (!go(RowReset) || !link.reset())
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

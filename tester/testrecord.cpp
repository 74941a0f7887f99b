#include "testrecord.h"

#include "banddate.h"

#include <bandsim/virtualband.h>

#include <QJsonObject>

namespace {

QString bytesText(const quint8 *bytes, int count, QChar separator)
{
    QStringList parts;
    for (int i = 0; i < count; ++i)
        parts << QStringLiteral("%1").arg(bytes[i], 2, 16, QLatin1Char('0'));
    return parts.join(separator);
}

QJsonObject confObject(const sb_conf_t &c)
{
    return {{QStringLiteral("weight"), c.weight}, {QStringLiteral("height"), c.height},
            {QStringLiteral("sex"), c.sex}, {QStringLiteral("age"), c.age}, {QStringLiteral("goal"), c.goal}};
}

} // namespace

void fillTestRecord(RunRecord &record, const TestResult &r)
{
    if (r.started.isValid())
        record.startedAt = r.started.toUTC();
    record.finish(runOutcomeOf(r.outcome), r.failedStep, r.passed() ? -1 : r.failedRow);
    if (r.finished.isValid())
        record.endedAt = r.finished.toUTC();

    QJsonObject d;
    if (r.reached(TestSequence::RowGetVersion)) {
        const sb_version_t &v = r.version;
        d.insert(QStringLiteral("version"),
                 QStringLiteral("%1.%2.%3.%4").arg(v.version[0]).arg(v.version[1]).arg(v.version[2]).arg(v.version[3]));
        record.unit = bytesText(v.bdaddr, 6, QLatin1Char(':'));
        d.insert(QStringLiteral("bluetooth"), record.unit);
    }
    if (r.reached(TestSequence::RowSetTime))
        d.insert(QStringLiteral("clock_sent"), bandDateTime(r.sentTime));
    if (r.reached(TestSequence::RowGetTime))
        d.insert(QStringLiteral("clock_read"), bandDateTime(r.readTime));
    if (r.reached(TestSequence::RowSetConf))
        d.insert(QStringLiteral("settings_sent"), confObject(r.sentConf));
    if (r.readConfValid)
        d.insert(QStringLiteral("settings_read"), confObject(r.readConf));
    if (!r.error.isEmpty())
        d.insert(QStringLiteral("error"), r.error);
    record.details = d;
    record.simulated = bandsim::VirtualBand::anyInProcess();
}

#include "steptext.h"

#include "banddate.h"

QString stepPassText(int row, const TestResult &r)
{
    const sb_version_t &v = r.version;
    switch (row) {
    case TestSequence::RowGetVersion:
        return QStringLiteral("%1.%2.%3.%4").arg(v.version[0]).arg(v.version[1]).arg(v.version[2]).arg(v.version[3]);
    case TestSequence::RowSetTime: return bandDateTime(r.sentTime);
    case TestSequence::RowGetTime: return bandDateTime(r.readTime);
    default: return QStringLiteral("OK");
    }
}

#include "reasonforms.h"

#include <QCoreApplication>
#include <QHash>
#include <QMutex>
#include <QRegularExpression>

QString translateReason(const QString &reason, const ReasonForm *forms, int count, const char *context)
{
    // The forms are static tables: each pattern is compiled once, known by its address.
    static QMutex lock;
    static QHash<const char *, QRegularExpression> compiled;
    const QMutexLocker locked(&lock);
    for (int i = 0; i < count; ++i) {
        QRegularExpression &pattern = compiled[forms[i].english];
        if (pattern.pattern().isEmpty())
            pattern.setPattern(QString::fromLatin1(forms[i].english));
        const QRegularExpressionMatch match = pattern.match(reason);
        if (!match.hasMatch())
            continue;
        QString shown = QCoreApplication::translate(context, forms[i].shown);
        for (int group = 1; group <= match.lastCapturedIndex(); ++group)
            shown = shown.arg(match.captured(group));
        return shown;
    }
    return reason;
}

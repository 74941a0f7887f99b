#include "reasonforms.h"

#include <QCoreApplication>
#include <QRegularExpression>

QString translateReason(const QString &reason, const ReasonForm *forms, int count, const char *context)
{
    for (int i = 0; i < count; ++i) {
        const QRegularExpressionMatch match = QRegularExpression(QString::fromLatin1(forms[i].english)).match(reason);
        if (!match.hasMatch())
            continue;
        QString shown = QCoreApplication::translate(context, forms[i].shown);
        for (int group = 1; group <= match.lastCapturedIndex(); ++group)
            shown = shown.arg(match.captured(group));
        return shown;
    }
    return reason;
}

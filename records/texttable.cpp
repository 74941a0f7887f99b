#include "texttable.h"

#include <QJsonDocument>

QString textTable(const QStringList &header, const QList<QStringList> &rows)
{
    QList<int> widths;
    for (const QString &h : header)
        widths << int(h.size());
    for (const QStringList &row : rows)
        for (int i = 0; i < row.size() && i < widths.size(); ++i)
            widths[i] = qMax(widths[i], int(row[i].size()));

    const auto line = [&](const QStringList &cells) {
        QStringList padded;
        for (int i = 0; i < cells.size(); ++i)
            padded << (i + 1 < cells.size() ? cells[i].leftJustified(widths[i]) : cells[i]);
        // An empty last cell leaves no blanks at the end of the line.
        QString text = padded.join(QStringLiteral("  "));
        while (text.endsWith(QLatin1Char(' ')))
            text.chop(1);
        return text + QLatin1Char('\n');
    };
    QString out = line(header);
    for (const QStringList &row : rows)
        out += line(row);
    return out;
}

QString jsonLine(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) + QLatin1Char('\n');
}

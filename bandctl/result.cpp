#include "result.h"

#include <algorithm>

namespace {

// A nested result's lines, indented under its heading.
QString indented(const Result &nested)
{
    QString text;
    const QStringList nestedLines = nested.text().split(u'\n');
    for (const QString &line : nestedLines)
        text += QStringLiteral("\n  ") + line;
    return text;
}

} // namespace

Result::Result(const QString &kindKey, const QString &kind) : kindKey(kindKey)
{
    object.insert(kindKey, kind);
}

Result::Result(const QJsonObject &json, const QString &line) : object(json)
{
    lines.append({QString(), line});
}

Result &Result::add(const QString &key, const QJsonValue &value, const QString &text)
{
    addJsonOnly(key, value);
    return addTextOnly(key, text);
}

Result &Result::add(const QString &key, int value)
{
    return add(key, QJsonValue(value), QString::number(value));
}

Result &Result::add(const QString &key, const QString &value)
{
    return add(key, QJsonValue(value), value);
}

Result &Result::add(const QString &key, bool value)
{
    return add(key, QJsonValue(value), value ? QStringLiteral("yes") : QStringLiteral("no"));
}

Result &Result::add(const QString &key, const Result &nested)
{
    QJsonObject fields = nested.json();
    fields.remove(nested.kindKey);
    return add(key, QJsonValue(fields), indented(nested));
}

Result &Result::addJsonOnly(const QString &key, const QJsonValue &value)
{
    object.insert(key, value);
    return *this;
}

Result &Result::addTextOnly(const QString &key, const QString &text)
{
    lines.append({key, text});
    return *this;
}

Result &Result::addTextOnly(const QString &key, const Result &nested)
{
    return addTextOnly(key, indented(nested));
}

QString Result::text() const
{
    qsizetype width = 0;
    for (const auto &line : lines)
        width = std::max(width, line.first.size());
    QStringList out;
    for (const auto &line : lines) {
        if (line.first.isEmpty())
            out.append(line.second);
        else if (line.second.startsWith(u'\n'))
            out.append(line.first + u':' + line.second);
        else
            out.append((line.first + u':').leftJustified(width + 2) + line.second);
    }
    return out.join(u'\n');
}

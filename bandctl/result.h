// One result of a command, kept both ways: a JSON object with stable field
// names, and "name: value" lines for people, in the order they were added.
#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QPair>
#include <QString>

class Result {
public:
    Result() = default;
    // kindKey/kind: what the result is, e.g. "item"/"time" or "command"/"test".
    Result(const QString &kindKey, const QString &kind);
    // A finished JSON object (e.g. from a child process) and its one line of text.
    Result(const QJsonObject &json, const QString &line);

    // The text form shows text; the JSON form keeps value.
    Result &add(const QString &key, const QJsonValue &value, const QString &text);
    Result &add(const QString &key, int value);
    Result &add(const QString &key, const QString &value);
    Result &add(const QString &key, bool value);
    // Another result nested under key; its lines are indented under a heading.
    Result &add(const QString &key, const Result &nested);
    // A JSON field with no line in the text form.
    Result &addJsonOnly(const QString &key, const QJsonValue &value);
    // A line (or a nested result's lines) with no JSON field.
    Result &addTextOnly(const QString &key, const QString &text);
    Result &addTextOnly(const QString &key, const Result &nested);

    const QJsonObject &json() const { return object; }
    QString text() const;

private:
    QJsonObject object;
    QString kindKey; // left out when nested: the enclosing key says it
    QList<QPair<QString, QString>> lines; // key, text; a key may span several lines
};

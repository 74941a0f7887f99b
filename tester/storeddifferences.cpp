#include "storeddifferences.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace {

void compare(const QString &field, int sent, int stored, QList<StoredDifference> *differences)
{
    if (sent != stored)
        differences->append({field, sent, stored});
}

QString shown(const QJsonValue &value)
{
    if (value.isString())
        return value.toString();
    if (value.isUndefined())
        return QStringLiteral("nothing");
    return QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).chopped(1).mid(1));
}

bool clockKept(const QJsonValue &sent, const QJsonValue &stored, qint64 slackSeconds)
{
    const QString format = QStringLiteral("yyyy-MM-dd HH:mm:ss");
    const QDateTime sentTime = QDateTime::fromString(sent.toString(), format);
    const QDateTime storedTime = QDateTime::fromString(stored.toString(), format);
    if (!sentTime.isValid() || !storedTime.isValid())
        return sent == stored;
    const qint64 ahead = sentTime.secsTo(storedTime);
    return ahead >= 0 && ahead <= slackSeconds;
}

void compareJson(const QString &field, const QJsonValue &sent, const QJsonValue &stored, qint64 slackSeconds,
                 QList<StoredDifference> *differences)
{
    if (sent.isObject() && stored.isObject()) {
        const QJsonObject sentObject = sent.toObject();
        const QJsonObject storedObject = stored.toObject();
        for (auto it = sentObject.begin(); it != sentObject.end(); ++it)
            compareJson(field + u'.' + it.key(), it.value(), storedObject.value(it.key()), slackSeconds, differences);
        return;
    }
    if (sent.isArray() && stored.isArray()) {
        const QJsonArray sentArray = sent.toArray();
        const QJsonArray storedArray = stored.toArray();
        for (qsizetype i = 0; i < sentArray.size(); ++i)
            compareJson(QStringLiteral("%1[%2]").arg(field).arg(i), sentArray.at(i), storedArray.at(i), slackSeconds,
                        differences);
        return;
    }
    const bool kept = field == QLatin1StringView("time") ? clockKept(sent, stored, slackSeconds) : sent == stored;
    if (!kept)
        differences->append({field, sent, stored});
}

} // namespace

QList<StoredDifference> confDifferences(const sb_conf_t &sent, const sb_conf_t &stored)
{
    QList<StoredDifference> differences;
    compare(QStringLiteral("weight"), sent.weight, stored.weight, &differences);
    compare(QStringLiteral("height"), sent.height, stored.height, &differences);
    compare(QStringLiteral("sex"), sent.sex, stored.sex, &differences);
    compare(QStringLiteral("age"), sent.age, stored.age, &differences);
    compare(QStringLiteral("goal"), sent.goal, stored.goal, &differences);
    return differences;
}

QList<StoredDifference> ledDifferences(const sb_led_t &sent, const sb_led_t &stored)
{
    QList<StoredDifference> differences;
    for (int i = 0; i < 2; ++i)
        compare(QStringLiteral("led%1").arg(i), sent.enabled[i], stored.enabled[i], &differences);
    return differences;
}

QList<StoredDifference> alarmDifferences(const AlarmTable &sent, const AlarmTable &stored)
{
    QList<StoredDifference> differences;
    for (size_t i = 0; i < sent.size(); ++i) {
        const QString entry = QStringLiteral("alarms[%1].").arg(i);
        compare(entry + QStringLiteral("hour"), sent[i].hour, stored[i].hour, &differences);
        compare(entry + QStringLiteral("minute"), sent[i].minute, stored[i].minute, &differences);
        compare(entry + QStringLiteral("mode"), sent[i].mode, stored[i].mode, &differences);
    }
    return differences;
}

QList<StoredDifference> storedDifferences(const QJsonObject &sent, const QJsonObject &stored,
                                          qint64 clockSlackSeconds)
{
    QList<StoredDifference> differences;
    for (auto it = sent.begin(); it != sent.end(); ++it)
        compareJson(it.key(), it.value(), stored.value(it.key()), clockSlackSeconds, &differences);
    return differences;
}

QString describeDifferences(const QList<StoredDifference> &differences)
{
    QStringList parts;
    for (const StoredDifference &difference : differences)
        parts.append(QStringLiteral("%1 (sent %2, stored %3)")
                         .arg(difference.field, shown(difference.sent), shown(difference.stored)));
    return parts.join(QStringLiteral(", "));
}

QJsonArray differencesJson(const QList<StoredDifference> &differences)
{
    QJsonArray array;
    for (const StoredDifference &difference : differences)
        array.append(QJsonObject{{QStringLiteral("field"), difference.field},
                                 {QStringLiteral("sent"), difference.sent},
                                 {QStringLiteral("stored"), difference.stored}});
    return array;
}

#include "readback.h"

#include <QDateTime>

namespace {

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

void compare(const QString &field, const QJsonValue &sent, const QJsonValue &stored, qint64 slackSeconds,
             QList<StoredDifference> *differences)
{
    if (sent.isObject() && stored.isObject()) {
        const QJsonObject sentObject = sent.toObject();
        const QJsonObject storedObject = stored.toObject();
        for (auto it = sentObject.begin(); it != sentObject.end(); ++it)
            compare(field + u'.' + it.key(), it.value(), storedObject.value(it.key()), slackSeconds, differences);
        return;
    }
    if (sent.isArray() && stored.isArray()) {
        const QJsonArray sentArray = sent.toArray();
        const QJsonArray storedArray = stored.toArray();
        for (qsizetype i = 0; i < sentArray.size(); ++i)
            compare(QStringLiteral("%1[%2]").arg(field).arg(i), sentArray.at(i), storedArray.at(i), slackSeconds,
                    differences);
        return;
    }
    const bool kept = field == QLatin1StringView("time") ? clockKept(sent, stored, slackSeconds) : sent == stored;
    if (!kept)
        differences->append({field, sent, stored});
}

} // namespace

QList<StoredDifference> storedDifferences(const QJsonObject &sent, const QJsonObject &stored,
                                          qint64 clockSlackSeconds)
{
    QList<StoredDifference> differences;
    for (auto it = sent.begin(); it != sent.end(); ++it)
        compare(it.key(), it.value(), stored.value(it.key()), clockSlackSeconds, &differences);
    return differences;
}

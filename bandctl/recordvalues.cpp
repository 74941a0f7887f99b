#include "recordvalues.h"

#include "commandline.h"

#include <QRegularExpression>

namespace {

// Only the forms the help names: lower-case words, decimal numbers (and 0x
// for a mode's bits), so that a typo is refused rather than guessed at.
std::optional<long long> parseValue(const FieldSpec &field, const QString &word)
{
    switch (field.kind) {
    case FieldSpec::Kind::OnOff:
        if (word == QLatin1StringView("on"))
            return 1;
        if (word == QLatin1StringView("off"))
            return 0;
        return std::nullopt;
    case FieldSpec::Kind::Sex:
        if (word == QLatin1StringView("female"))
            return 1;
        if (word == QLatin1StringView("male"))
            return 0;
        return std::nullopt;
    case FieldSpec::Kind::Bits:
        return parseBits(word, field.min, field.max);
    case FieldSpec::Kind::Number: break;
    }
    return parseInteger(word, field.min, field.max);
}

QString expected(const FieldSpec &field)
{
    switch (field.kind) {
    case FieldSpec::Kind::OnOff: return QStringLiteral("on or off");
    case FieldSpec::Kind::Sex: return QStringLiteral("male or female");
    case FieldSpec::Kind::Bits: return QStringLiteral("a number from %1 to %2 (or 0x%3 to 0x%4)")
                                           .arg(field.min).arg(field.max).arg(field.min, 2, 16, QLatin1Char('0'))
                                           .arg(field.max, 2, 16, QLatin1Char('0'));
    case FieldSpec::Kind::Number: break;
    }
    return QStringLiteral("a whole number from %1 to %2").arg(field.min).arg(field.max);
}

QString fieldNames(const QList<FieldSpec> &fields)
{
    QStringList names;
    for (const FieldSpec &field : fields)
        names.append(QString::fromLatin1(field.name));
    return names.join(QStringLiteral(", "));
}

} // namespace

std::optional<QMap<QString, long long>> parseAssignments(const QStringList &words, const QList<FieldSpec> &fields,
                                                         QString *error)
{
    if (words.isEmpty()) {
        *error = QStringLiteral("give at least one NAME=VALUE (names: %1)").arg(fieldNames(fields));
        return std::nullopt;
    }
    QMap<QString, long long> values;
    for (const QString &word : words) {
        const qsizetype equals = word.indexOf(u'=');
        const QString name = word.left(equals);
        const auto field = std::find_if(fields.begin(), fields.end(),
                                        [&](const FieldSpec &f) { return name == QLatin1StringView(f.name); });
        if (equals < 0 || field == fields.end()) {
            *error = QStringLiteral("\"%1\" is not NAME=VALUE with a name of %2").arg(word, fieldNames(fields));
            return std::nullopt;
        }
        if (values.contains(name)) {
            *error = QStringLiteral("%1 given twice").arg(name);
            return std::nullopt;
        }
        const auto value = parseValue(*field, word.mid(equals + 1));
        if (!value) {
            *error = QStringLiteral("%1 must be %2, not \"%3\"").arg(name, expected(*field), word.mid(equals + 1));
            return std::nullopt;
        }
        values.insert(name, *value);
    }
    return values;
}

std::optional<sb_time_t> bandTimeOf(const QDateTime &when)
{
    const QDate date = when.date();
    const QTime time = when.time();
    if (!when.isValid() || date.year() < 2000 || date.year() > 2255)
        return std::nullopt;
    sb_time_t record{};
    record.second = quint8(std::min(time.second(), 59));
    record.minute = quint8(time.minute());
    record.hour = quint8(time.hour());
    record.day = quint8(date.day() - 1);
    record.month = quint8(date.month() - 1);
    record.year = quint8(date.year() - 2000);
    return record;
}

std::optional<sb_time_t> parseBandTime(const QStringList &words, QString *error)
{
    static const QRegularExpression form(QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}$"));
    const QString text = words.join(u' ');
    const QDateTime when = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const auto record = words.size() <= 2 && form.match(text).hasMatch() ? bandTimeOf(when) : std::nullopt;
    if (!record)
        *error = QStringLiteral("the time must be a real date and time from 2000 to 2255 as "
                                "YYYY-MM-DD HH:MM:SS, not \"%1\"").arg(text);
    return record;
}

const QList<FieldSpec> &confFields()
{
    static const QList<FieldSpec> fields = {
        {"weight", FieldSpec::Kind::Number, 0, 255}, {"height", FieldSpec::Kind::Number, 0, 255},
        {"sex", FieldSpec::Kind::Sex, 0, 1},         {"age", FieldSpec::Kind::Number, 0, 255},
        {"goal", FieldSpec::Kind::Number, 0, 65535},
    };
    return fields;
}

const QList<FieldSpec> &ledFields()
{
    static const QList<FieldSpec> fields = {{"led0", FieldSpec::Kind::OnOff, 0, 1},
                                            {"led1", FieldSpec::Kind::OnOff, 0, 1}};
    return fields;
}

const QList<FieldSpec> &alarmFields()
{
    static const QList<FieldSpec> fields = {{"hour", FieldSpec::Kind::Number, 0, 23},
                                            {"minute", FieldSpec::Kind::Number, 0, 59},
                                            {"mode", FieldSpec::Kind::Bits, 0, 255}};
    return fields;
}

void applyConf(const QMap<QString, long long> &values, sb_conf_t *conf)
{
    conf->weight = quint8(values.value(QStringLiteral("weight"), conf->weight));
    conf->height = quint8(values.value(QStringLiteral("height"), conf->height));
    conf->sex = quint8(values.value(QStringLiteral("sex"), conf->sex));
    conf->age = quint8(values.value(QStringLiteral("age"), conf->age));
    conf->goal = quint16(values.value(QStringLiteral("goal"), conf->goal));
}

void applyLed(const QMap<QString, long long> &values, sb_led_t *led)
{
    led->enabled[0] = quint8(values.value(QStringLiteral("led0"), led->enabled[0]));
    led->enabled[1] = quint8(values.value(QStringLiteral("led1"), led->enabled[1]));
}

void applyAlarm(const QMap<QString, long long> &values, sb_alarm_t *alarm)
{
    alarm->hour = quint8(values.value(QStringLiteral("hour"), alarm->hour));
    alarm->minute = quint8(values.value(QStringLiteral("minute"), alarm->minute));
    alarm->mode = quint8(values.value(QStringLiteral("mode"), alarm->mode));
}

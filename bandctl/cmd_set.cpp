// set ITEM VALUES: changes one item of the band. Every value is checked
// before anything is written, so bad input never reaches the band; every
// write is read back, so a value the band did not keep is never reported as set.
#include "bandchannel.h"
#include "bandconnection.h"
#include "bandrecords.h"
#include "items.h"
#include "output.h"
#include "recordvalues.h"
#include "storeddifferences.h"
#include "subcommand.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <functional>

namespace {

struct Change {
    QString item;
    QString what; // for messages
    std::function<bool(BandChannel &)> readCurrent;  // null when the whole record is given
    std::function<bool(BandChannel &)> write;
    std::function<Result()> describe;
};

// Builds the change from the words, or sets *error.
std::optional<Change> planChange(const QStringList &words, QString *error, sb_time_t *time, sb_conf_t *conf,
                                 sb_led_t *led, sb_alarm_t *alarms, QMap<QString, long long> *values)
{
    const QString item = words.value(0);
    const QStringList rest = words.mid(1);
    if (item == QLatin1StringView("time")) {
        const auto record = rest.isEmpty() ? bandTimeOf(QDateTime::currentDateTime()) : parseBandTime(rest, error);
        if (!record) {
            if (error->isEmpty())
                *error = QStringLiteral("the computer's clock is outside the years the band can hold");
            return std::nullopt;
        }
        *time = *record;
        return Change{item, QStringLiteral("set time"), nullptr, [time](BandChannel &band) { return band.setTime(time); },
                      [time] { return describeTime(*time); }};
    }
    if (item == QLatin1StringView("conf") || item == QLatin1StringView("led")) {
        const bool isConf = item == QLatin1StringView("conf");
        const auto parsed = parseAssignments(rest, isConf ? confFields() : ledFields(), error);
        if (!parsed)
            return std::nullopt;
        *values = *parsed;
        if (isConf)
            return Change{item, QStringLiteral("set conf"), [conf](BandChannel &band) { return band.getConf(conf); },
                          [conf, values](BandChannel &band) { applyConf(*values, conf); return band.setConf(conf); },
                          [conf] { return describeConf(*conf); }};
        return Change{item, QStringLiteral("set led"), [led](BandChannel &band) { return band.getLed(led); },
                      [led, values](BandChannel &band) { applyLed(*values, led); return band.setLed(led); },
                      [led] { return describeLed(*led); }};
    }
    if (item == QLatin1StringView("alarm")) {
        const auto entry = parseInteger(rest.value(0), 0, SB_ALARM_COUNT - 1);
        if (!entry) {
            *error = QStringLiteral("set alarm needs an ENTRY from 0 to 7 first, not \"%1\"").arg(rest.value(0));
            return std::nullopt;
        }
        const auto parsed = parseAssignments(rest.mid(1), alarmFields(), error);
        if (!parsed)
            return std::nullopt;
        *values = *parsed;
        sb_alarm_t *target = alarms + *entry;
        return Change{item, QStringLiteral("set alarm"), [alarms](BandChannel &band) { return band.getAlarms(alarms); },
                      [alarms, target, values](BandChannel &band) { applyAlarm(*values, target); return band.setAlarms(alarms); },
                      [alarms] { return describeAlarms(alarms); }};
    }
    *error = item.isEmpty() ? QStringLiteral("set needs an ITEM: time, conf, led or alarm")
                            : QStringLiteral("\"%1\" cannot be set (items: time, conf, led, alarm)").arg(item);
    return std::nullopt;
}

int run(CommandContext &context)
{
    ArgumentReader reader(context.arguments);
    const auto words = reader.words();
    if (!words)
        return context.out.fail(ExitUsage, reader.error());

    sb_time_t time{};
    sb_conf_t conf{};
    sb_led_t led{};
    sb_alarm_t alarms[SB_ALARM_COUNT]{};
    QMap<QString, long long> values;
    QString error;
    const auto change = planChange(*words, &error, &time, &conf, &led, alarms, &values);
    if (!change)
        return context.out.fail(ExitUsage, error);

    BandConnection band(context.options.band);
    if (const int code = band.open(context.out); code != ExitOk)
        return code;
    if (change->readCurrent && !change->readCurrent(band.channel()))
        return band.failed(context.out, QStringLiteral("reading the current %1 before changing it").arg(change->item));
    QElapsedTimer sinceWrite;
    sinceWrite.start();
    if (!change->write(band.channel()))
        return band.failed(context.out, change->what);
    const auto stored = readItem(band.channel(), change->item);
    if (!stored)
        return band.failed(context.out, QStringLiteral("reading the %1 back after writing it").arg(change->item));
    // The clock has run on since it was set: up to the seconds that passed, plus the one it was in.
    const qint64 clockSlack = sinceWrite.elapsed() / 1000 + 1;
    const auto differences = storedDifferences(change->describe().json(), stored->json(), clockSlack);
    if (!differences.isEmpty())
        return context.out.fail(ExitBandFailed,
                                QStringLiteral("the band stored other values than were written: %1")
                                    .arg(describeDifferences(differences)),
                                QJsonObject{{QStringLiteral("item"), change->item},
                                            {QStringLiteral("differences"), differencesJson(differences)}});
    context.out.print(*stored);
    return ExitOk;
}

} // namespace

extern const Subcommand setCommand = {
    "set", "set ITEM VALUES", "change one item of the band",
    "Items and values (names left out keep the band's current value):\n"
    "  time                           the computer's clock\n"
    "  time YYYY-MM-DD HH:MM:SS       that date and time (2000 to 2255)\n"
    "  conf weight=N height=N sex=male|female age=N goal=N\n"
    "                                 weight, height, age 0-255; goal 0-65535\n"
    "  led led0=on|off led1=on|off\n"
    "  alarm ENTRY hour=H minute=M mode=N\n"
    "                                 ENTRY 0-7, hour 0-23, minute 0-59, mode 0-255 (0x.. allowed)\n"
    "Every value is checked before anything is written. Each write is read back: on success the\n"
    "values the band now holds are printed; a value it did not keep is exit code 1, naming each\n"
    "such field with what was sent and what the band stored (JSON: differences [{field, sent,\n"
    "stored}]). The clock counts as kept when it reads at most the seconds since the write ahead.\n",
    run,
};

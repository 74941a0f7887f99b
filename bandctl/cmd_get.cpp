// get ITEM [DAY]: one item of the band.
#include "bandconnection.h"
#include "items.h"
#include "output.h"
#include "subcommand.h"

namespace {

int run(CommandContext &context)
{
    ArgumentReader reader(context.arguments);
    const auto words = reader.words();
    if (!words)
        return context.out.fail(ExitUsage, reader.error());
    const QString item = words->value(0);
    if (!isReadableItem(item))
        return context.out.fail(ExitUsage, item.isEmpty() ? QStringLiteral("get needs an ITEM: %1").arg(readableItems().join(u' '))
                                                           : QStringLiteral("unknown item \"%1\" (items: %2)").arg(item, readableItems().join(u' ')));
    const bool byDay = item == QLatin1StringView("daystat");
    if (words->size() > (byDay ? 2 : 1))
        return context.out.fail(ExitUsage, QStringLiteral("too many words for get %1").arg(item));
    QList<int> days = {0};
    if (byDay && words->size() == 2) {
        const auto day = parseInteger(words->at(1), 0, 6);
        if (!day)
            return context.out.fail(ExitUsage, QStringLiteral("DAY must be from 0 to 6, not \"%1\"").arg(words->at(1)));
        days = {int(*day)};
    } else if (byDay) {
        days = {0, 1, 2, 3, 4, 5, 6};
    }

    BandConnection band(context.options.band);
    if (const int code = band.open(context.out); code != ExitOk)
        return code;
    for (int day : days) {
        const auto result = readItem(band.channel(), item, day);
        if (!result)
            return band.failed(context.out, QStringLiteral("get %1").arg(item));
        context.out.print(*result);
    }
    return ExitOk;
}

} // namespace

extern const Subcommand getCommand = {
    "get", "get ITEM [DAY]", "read one item of the band",
    "Items:\n"
    "  version         firmware version and Bluetooth address\n"
    "  time            the band's clock\n"
    "  conf            wearer settings: weight, height, sex, age, goal\n"
    "  led             the two LEDs, on or off\n"
    "  alarm           the eight alarm clock entries\n"
    "  stat            the pedometer statistics\n"
    "  daydata         the pedometer day data\n"
    "  daystat [DAY]   the day statistics of day 0 to 6 (all seven when DAY is left out)\n",
    run,
};

#include "items.h"

#include "bandchannel.h"
#include "bandrecords.h"

namespace {

template <typename Record, typename Describe>
std::optional<Result> readRecord(BandChannel &band, bool (BandChannel::*read)(Record *), Describe describe,
                                 const QString &kindKey)
{
    Record record{};
    if (!(band.*read)(&record))
        return std::nullopt;
    return describe(record, kindKey);
}

} // namespace

QStringList readableItems()
{
    return {QStringLiteral("version"), QStringLiteral("time"), QStringLiteral("conf"), QStringLiteral("led"),
            QStringLiteral("alarm"), QStringLiteral("stat"), QStringLiteral("daydata"), QStringLiteral("daystat")};
}

bool isReadableItem(const QString &name)
{
    return readableItems().contains(name);
}

std::optional<Result> readItem(BandChannel &band, const QString &name, int day, const QString &kindKey)
{
    if (name == QLatin1StringView("version"))
        return readRecord(band, &BandChannel::getVersion, describeVersion, kindKey);
    if (name == QLatin1StringView("time"))
        return readRecord(band, &BandChannel::getTime, describeTime, kindKey);
    if (name == QLatin1StringView("conf"))
        return readRecord(band, &BandChannel::getConf, describeConf, kindKey);
    if (name == QLatin1StringView("led"))
        return readRecord(band, &BandChannel::getLed, describeLed, kindKey);
    if (name == QLatin1StringView("stat"))
        return readRecord(band, &BandChannel::getStat, describeStat, kindKey);
    if (name == QLatin1StringView("daydata"))
        return readRecord(band, &BandChannel::getDayData, describeDayData, kindKey);
    if (name == QLatin1StringView("alarm")) {
        sb_alarm_t alarms[SB_ALARM_COUNT]{};
        if (!band.getAlarms(alarms))
            return std::nullopt;
        return describeAlarms(alarms, kindKey);
    }
    if (name == QLatin1StringView("daystat")) {
        sb_day_stat_t stat{};
        if (!band.getDayStat(quint8(day), &stat))
            return std::nullopt;
        return describeDayStat(day, stat, kindKey);
    }
    return std::nullopt;
}

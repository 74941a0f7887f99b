#include "activityrecords.h"

#include "bandclock.h"

namespace bandsim {

namespace {

constexpr int64_t kSecondsPerDay = 86400;

// About eight steps a minute over the day so far.
uint32_t stepsToday(int64_t seconds)
{
    const int64_t secondOfDay = ((seconds % kSecondsPerDay) + kSecondsPerDay) % kSecondsPerDay;
    return uint32_t(secondOfDay / 60 * 8);
}

uint32_t distanceFor(uint32_t steps) { return steps * 7 / 10; } // metres
uint32_t caloriesFor(uint32_t steps) { return steps / 25; }

void put24(uint8_t *field, uint32_t value)
{
    field[0] = uint8_t(value);
    field[1] = uint8_t(value >> 8);
    field[2] = uint8_t(value >> 16);
}

} // namespace

sb_stat_t statisticsAt(int64_t secondsSince2000)
{
    const sb_time_t now = fromSecondsSince2000(secondsSince2000);
    const uint32_t steps = stepsToday(secondsSince2000);
    sb_stat_t stat{};
    stat.minute = now.minute;
    stat.hour = now.hour;
    stat.day = now.day;
    stat.month = now.month;
    stat.year = now.year;
    stat.steps = uint16_t(steps);
    stat.distance = uint16_t(distanceFor(steps));
    stat.calorie = uint8_t(caloriesFor(steps) > 255 ? 255 : caloriesFor(steps));
    return stat;
}

sb_day_data_t dayDataAt(int64_t secondsSince2000)
{
    const sb_time_t now = fromSecondsSince2000(secondsSince2000);
    const uint32_t steps = stepsToday(secondsSince2000);
    sb_day_data_t data{};
    data.day = now.day;
    data.month = now.month;
    data.year = now.year;
    data.steps = steps;
    data.distance = distanceFor(steps);
    data.calorie = caloriesFor(steps);
    return data;
}

sb_day_stat_t dayStatAt(int64_t secondsSince2000, int daysAgo)
{
    const sb_time_t date = fromSecondsSince2000(secondsSince2000 - daysAgo * kSecondsPerDay);
    const uint32_t steps = daysAgo == 0 ? stepsToday(secondsSince2000) : 6000 + 731 * uint32_t(daysAgo);
    sb_day_stat_t stat{};
    stat.flag = SB_DAY_STAT_VALID;
    stat.day = date.day;
    stat.month = date.month;
    stat.year = date.year;
    put24(stat.steps, steps);
    put24(stat.distance, distanceFor(steps));
    stat.calorie = uint16_t(caloriesFor(steps));
    stat.count = uint16_t(steps / 100);
    return stat;
}

sb_min_stat_t minStatAt(int64_t secondsSince2000, uint32_t sequence)
{
    const sb_time_t now = fromSecondsSince2000(secondsSince2000);
    const uint16_t steps = uint16_t(60 + sequence % 40);
    sb_min_stat_t stat{};
    stat.minute = now.minute;
    stat.hour = now.hour;
    stat.day = now.day;
    stat.month = now.month;
    stat.year = now.year;
    stat.steps = steps;
    stat.distance = uint16_t(distanceFor(steps));
    stat.calorie = uint8_t(caloriesFor(steps) + 1);
    stat.temperature = uint16_t(360 + sequence % 8); // 36.0 to 36.7 degrees
    stat.pressure = 1013;
    return stat;
}

} // namespace bandsim

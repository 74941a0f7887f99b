#include "bandclock.h"

namespace bandsim {

namespace {

constexpr int64_t kSecondsPerDay = 86400;

// Days since 1970-01-01 of a proleptic Gregorian date (month 1..12).
int64_t daysFromCivil(int64_t year, int month, int day)
{
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void civilFromDays(int64_t days, int64_t &year, int &month, int &day)
{
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    day = int(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    month = int(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    year = yearOfEra + era * 400 + (month <= 2);
}

const int64_t kDays2000 = daysFromCivil(2000, 1, 1);

int daysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

} // namespace

int64_t toSecondsSince2000(const sb_time_t &time)
{
    const int64_t days = daysFromCivil(2000 + time.year, time.month + 1, time.day + 1) - kDays2000;
    return days * kSecondsPerDay + time.hour * 3600 + time.minute * 60 + time.second;
}

sb_time_t fromSecondsSince2000(int64_t seconds)
{
    const int64_t days = seconds >= 0 ? seconds / kSecondsPerDay : (seconds - kSecondsPerDay + 1) / kSecondsPerDay;
    const int64_t secondOfDay = seconds - days * kSecondsPerDay;
    int64_t year = 0;
    int month = 0;
    int day = 0;
    civilFromDays(days + kDays2000, year, month, day);

    sb_time_t time{};
    time.second = uint8_t(secondOfDay % 60);
    time.minute = uint8_t(secondOfDay / 60 % 60);
    time.hour = uint8_t(secondOfDay / 3600);
    time.day = uint8_t(day - 1);
    time.month = uint8_t(month - 1);
    time.year = uint8_t(year - 2000); // the band's year field wraps after 2255
    return time;
}

BandClock::BandClock(Steady::time_point now)
    : secondsAtSet(toSecondsSince2000(sb_time_t{0, 0, 0, 0, 0, 15})), setAt(now)
{
}

bool BandClock::isValid(const sb_time_t &time)
{
    return time.second < 60 && time.minute < 60 && time.hour < 24 && time.month < 12
           && time.day < daysInMonth(2000 + time.year, time.month + 1);
}

void BandClock::set(const sb_time_t &time, Steady::time_point now)
{
    secondsAtSet = toSecondsSince2000(time);
    setAt = now;
}

sb_time_t BandClock::read(Steady::time_point now) const
{
    return fromSecondsSince2000(secondsSince2000(now));
}

int64_t BandClock::secondsSince2000(Steady::time_point now) const
{
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(now - setAt);
    return secondsAtSet + (running && elapsed.count() > 0 ? elapsed.count() : 0);
}

} // namespace bandsim

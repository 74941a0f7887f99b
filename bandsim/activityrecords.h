// The step counts and readings the band reports. They are made up, but
// plausible and consistent with the band's clock.
#pragma once

#include <bandlink.h>

#include <cstdint>

namespace bandsim {

sb_stat_t statisticsAt(int64_t secondsSince2000);
sb_day_data_t dayDataAt(int64_t secondsSince2000);
// daysAgo 0 is today, 6 is six days before.
sb_day_stat_t dayStatAt(int64_t secondsSince2000, int daysAgo);
sb_min_stat_t minStatAt(int64_t secondsSince2000, uint32_t sequence);

} // namespace bandsim

// Prints what the almanac says of every day of its table, for the check against the sources
// (almanac_sources.py): "YYYY-MM-DD lunarYear month leap day term", one day a line.
#include <cstdio>

#include "almanac/almanac.h"

int main() {
    const std::int64_t first = almanac::DayNumber(*almanac::MakeDate(1901, 1, 1));
    const std::int64_t last = almanac::DayNumber(*almanac::MakeDate(2100, 12, 31));
    for (std::int64_t n = first; n <= last; ++n) {
        const almanac::Date date = almanac::DateOfDayNumber(n);
        const auto lunar = almanac::LunarOf(date);
        std::printf("%04d-%02d-%02d %d %d %d %d %d\n", almanac::YearOf(date), almanac::MonthOf(date),
                    almanac::DayOf(date), lunar ? lunar->year : 0, lunar ? lunar->month : 0,
                    lunar ? int{lunar->leap} : 0, lunar ? lunar->day : 0, almanac::SolarTermOn(date));
    }
    return 0;
}

// The generated tables behind the almanac (tools/make_almanac_table.py writes almanac_table.cpp).
#pragma once

#include <cstdint>

#include "almanac/almanac.h"

namespace almanac::table {

inline constexpr int kYears = kLastYear - kFirstYear + 1;

// One word per lunar year from kFirstYear: bits 0-12 the months in order (1 = 30 days), bits 13-16
// the leap month (0 = none), bits 17-22 the day of 正月初一 counted from 1 January.
extern const std::uint32_t kLunarYears[kYears];
// Per Gregorian year, 24 two-bit offsets (little-endian in six bytes) over each term's earliest day
// of its month.
extern const std::uint8_t kTermBase[24];
extern const std::uint8_t kTerms[kYears * 6];

struct HolidayRow {
    std::int32_t day; // from 1970-01-01
    char mark;        // 'R' rest, 'W' make-up working day
    std::uint8_t holiday;
};
extern const int kFirstHolidayYear, kLastHolidayYear;
extern const HolidayRow kHolidays[];
extern const int kHolidayCount;

} // namespace almanac::table

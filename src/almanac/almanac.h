// The Chinese calendar of a civil day: lunar date, solar term, festivals and the State Council's
// rest and make-up working days, all from tables generated once from named sources (see
// tools/make_almanac_table.py), and the one civil date type the program counts days with.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace almanac {

// The one civil date type: proleptic Gregorian, as <chrono> has it.
using Date = std::chrono::year_month_day;

// Days counted from 1970-01-01 (negative before it), and back. DateOfDayNumber keeps to the years
// <chrono> holds (-32767 .. 32767) by clamping to their ends.
std::int64_t DayNumber(Date date);
Date DateOfDayNumber(std::int64_t days);
// A date from plain numbers; nullopt unless it names a real day of the years -32767 .. 32767.
std::optional<Date> MakeDate(int year, int month, int day);
inline int YearOf(Date date) {
    return static_cast<int>(date.year());
}
inline int MonthOf(Date date) {
    return static_cast<int>(static_cast<unsigned>(date.month()));
}
inline int DayOf(Date date) {
    return static_cast<int>(static_cast<unsigned>(date.day()));
}

// The lunar calendar is known for these Gregorian years (its first day is 1901-02-19, 正月初一 of
// the year 辛丑; the last is 2100-12-31).
inline constexpr int kFirstYear = 1901, kLastYear = 2100;

struct LunarDate {
    int year = 0;      // the lunar year, named after the Gregorian year its 正月 begins in (2026 = 丙午)
    int month = 0;     // 1 .. 12
    bool leap = false; // 闰: the month repeats the number of the one before it
    int day = 0;       // 1 .. 30
    int monthDays = 0; // 29 or 30

    friend bool operator==(const LunarDate&, const LunarDate&) = default;
};

// nullopt outside 1901-02-19 .. 2100-12-31.
std::optional<LunarDate> LunarOf(Date date);
// The civil day of a lunar date; nullopt when that year has no such month (a leap month it lacks)
// or the month has no such day (三十 of a 29-day month), or it lies outside the table.
std::optional<Date> SolarOf(int lunarYear, int month, bool leap, int day);
// The leap month of a lunar year, 0 when it has none.
int LeapMonthOf(int lunarYear);

// Names in GBK bytes, as calendars print them.
std::string LunarMonthName(int month, bool leap); // "正月" .. "十月", "冬月", "腊月", "闰四月"
std::string LunarDayName(int day);                // "初一" .. "三十"
std::string GanzhiOfYear(int lunarYear);          // "丙午"
std::string ZodiacOfYear(int lunarYear);          // "马"

// The solar term that begins on a day (Beijing time), -1 when none: 0 = 小寒, 1 = 大寒, 2 = 立春,
// ..., 6 = 清明, ..., 23 = 冬至. Index = 2 * (Gregorian month - 1) + (0 for the first of the month's
// two terms, 1 for the second).
int SolarTermOn(Date date);
std::string SolarTermName(int index);
// The day of a term in a Gregorian year, nullopt outside the table.
std::optional<Date> SolarTermDate(int year, int index);

// A day's place in the official schedule: a holiday (休) or a weekend day made a working day (班).
enum class DayOff { None, Rest, Work };

// The State Council's published holidays: built in for the years the program was generated with,
// and for newer years from a small text file the program reads when present.
class HolidaySchedule {
  public:
    // The built-in years only.
    static const HolidaySchedule& BuiltIn();
    // The built-in years plus the years the file holds. A file with any problem adds nothing at
    // all (each problem is one line in problems, when given): a wrong mark is worse than none.
    static HolidaySchedule WithFile(std::string_view fileBytes, std::vector<std::string>* problems);

    DayOff MarkOn(Date date) const;
    // The holiday a rest or make-up day belongs to ("春节"), empty when none.
    std::string HolidayOn(Date date) const;
    // The years the schedule holds; a year outside them shows no mark rather than a guess.
    bool Covers(int year) const;
    int FirstYear() const;
    int LastYear() const;

    struct Entry {
        std::int32_t day; // DayNumber
        DayOff off;
        int holiday; // see HolidayName
    };

  private:
    std::vector<Entry> m_entries; // sorted by day
    std::vector<int> m_years;     // sorted
};

// The names of the holidays the schedule knows, in GBK ("元旦", "春节", "清明节", "劳动节",
// "端午节", "中秋节", "国庆节"); index 0 is "".
std::string HolidayName(int index);

// Where a newer year's schedule lives: this name in the diary's safety folder (the folder the
// program keeps its own copies in). The format is described in docs/holidays.md.
std::string HolidayFileName();

struct DayFacts {
    Date date{};
    std::optional<LunarDate> lunar;
    int term = -1;
    std::vector<std::string> festivals; // lunar first, then Gregorian, then 清明/冬至; GBK
    DayOff off = DayOff::None;
};

DayFacts FactsOf(Date date, const HolidaySchedule& schedule = HolidaySchedule::BuiltIn());

// The short text under a day in a month view: the first festival, else the term, else the month's
// name on its first day, else the lunar day; empty outside the table.
std::string CellCaption(const DayFacts& facts);

// "丙午年八月十五", "甲辰年闰四月初一": the year's 干支, the month, the day.
std::string LunarDateText(const LunarDate& lunar);

} // namespace almanac

// The almanac: civil days, lunar dates, solar terms, festivals and the official holidays.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "almanac/almanac.h"

using almanac::Date;
using almanac::DayOff;
using almanac::LunarDate;

namespace {

Date D(int y, int m, int d) {
    return *almanac::MakeDate(y, m, d);
}

} // namespace

TEST(AlmanacCivil, DayNumbersRoundTripAndClampAtChronosEnds) {
    const struct {
        int y, m, d;
        std::int64_t days;
    } cases[] = {
        {1970, 1, 1, 0},      {1969, 12, 31, -1},     {2000, 2, 29, 11016}, {2026, 12, 9, 20796},
        {1900, 3, 1, -25508}, {3000, 12, 31, 376564}, {1, 1, 1, -719162},   {2100, 12, 31, 47846},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(almanac::DayNumber(D(c.y, c.m, c.d)), c.days) << c.y << "-" << c.m;
        EXPECT_EQ(almanac::DateOfDayNumber(c.days), D(c.y, c.m, c.d)) << c.days;
    }
    EXPECT_EQ(almanac::YearOf(almanac::DateOfDayNumber(INT64_MAX)), 32767);
    EXPECT_EQ(almanac::YearOf(almanac::DateOfDayNumber(INT64_MIN)), -32767);
    EXPECT_FALSE(almanac::MakeDate(2026, 2, 29));
    EXPECT_FALSE(almanac::MakeDate(2026, 13, 1));
    EXPECT_FALSE(almanac::MakeDate(2026, 4, 31));
    EXPECT_TRUE(almanac::MakeDate(2024, 2, 29));
}

// The months where the sources part: the Observatory's published calendar, the ephemeris under
// GB/T 33661 and ICU. Each row is the first day of a month as the published calendar or the rule
// has it; where ICU differs its date is a day later or earlier.
TEST(AlmanacLunar, HardCasesFallOnTheRightDay) {
    const struct {
        Date date;
        LunarDate lunar; // year, month, leap, day, monthDays (0 = not checked)
        const char* why;
    } cases[] = {
        {D(2027, 2, 6), {2027, 1, false, 1, 0}, "new moon 23:56 Beijing time; ICU says 2-07"},
        {D(2027, 2, 5), {2026, 12, false, 29, 29}, "so 除夕 2027 is the 29th"},
        {D(1978, 9, 2), {1978, 8, false, 1, 0}, "the published calendar; today's ephemeris says 9-03"},
        {D(1954, 11, 26), {1954, 11, false, 1, 0}, "published, the ephemeris says 11-25"},
        {D(1956, 12, 3), {1956, 11, false, 1, 0}, "published, the ephemeris says 12-02"},
        {D(1916, 2, 3), {1916, 1, false, 1, 0}, "published in local time of Beijing"},
        {D(1914, 11, 17), {1914, 10, false, 1, 0}, "published in local time of Beijing"},
        {D(1920, 11, 10), {1920, 10, false, 1, 0}, "published in local time of Beijing"},
        {D(1933, 7, 22), {1933, 6, false, 1, 0}, "published in local time of Beijing"},
        {D(2033, 12, 22), {2033, 11, true, 1, 0}, "闰十一月, the 2033 problem"},
        {D(2033, 11, 22), {2033, 11, false, 1, 0}, "the ordinary eleventh month before it"},
        {D(2034, 2, 19), {2034, 1, false, 1, 0}, "春节 after the leap eleventh month"},
        {D(2057, 9, 28), {2057, 9, false, 1, 0}, "new moon minutes before midnight"},
        {D(2089, 9, 4), {2089, 8, false, 1, 0}, "new moon minutes before midnight"},
        {D(2097, 8, 7), {2097, 7, false, 1, 0}, "new moon minutes before midnight"},
        {D(2026, 9, 25), {2026, 8, false, 15, 0}, "中秋 2026"},
        {D(2025, 7, 25), {2025, 6, true, 1, 0}, "闰六月 2025"},
        {D(2023, 3, 22), {2023, 2, true, 1, 0}, "闰二月 2023"},
        {D(2020, 5, 23), {2020, 4, true, 1, 0}, "闰四月 2020"},
        {D(1901, 2, 19), {1901, 1, false, 1, 0}, "the table's first day"},
        {D(2100, 12, 31), {2100, 12, false, 1, 0}, "the table's last day"},
    };
    for (const auto& c : cases) {
        const std::optional<LunarDate> got = almanac::LunarOf(c.date);
        ASSERT_TRUE(got) << c.why;
        EXPECT_EQ(got->year, c.lunar.year) << c.why;
        EXPECT_EQ(got->month, c.lunar.month) << c.why;
        EXPECT_EQ(got->leap, c.lunar.leap) << c.why;
        EXPECT_EQ(got->day, c.lunar.day) << c.why;
        if (c.lunar.monthDays != 0) {
            EXPECT_EQ(got->monthDays, c.lunar.monthDays) << c.why;
        }
        EXPECT_EQ(almanac::SolarOf(got->year, got->month, got->leap, got->day), c.date) << c.why;
    }
}

TEST(AlmanacLunar, OutsideTheTableThereIsNoLunarDate) {
    EXPECT_FALSE(almanac::LunarOf(D(1901, 2, 18)));
    EXPECT_FALSE(almanac::LunarOf(D(1900, 6, 1)));
    EXPECT_FALSE(almanac::LunarOf(D(2101, 1, 1)));
    EXPECT_FALSE(almanac::LunarOf(Date{}));
    EXPECT_FALSE(almanac::SolarOf(2100, 12, false, 2)); // 2101-01-01
    EXPECT_FALSE(almanac::SolarOf(1900, 12, false, 1));
    EXPECT_FALSE(almanac::SolarOf(2026, 4, true, 1)); // 2026 has no leap month
    EXPECT_FALSE(almanac::SolarOf(2026, 13, false, 1));
    EXPECT_FALSE(almanac::SolarOf(2026, 12, false, 30)); // 腊月 2026 has 29 days
    EXPECT_FALSE(almanac::SolarOf(2026, 1, false, 0));
    EXPECT_EQ(almanac::LeapMonthOf(2033), 11);
    EXPECT_EQ(almanac::LeapMonthOf(2026), 0);
}

// Every day of the table, walked in order: each day is the day after the one before in the lunar
// calendar too, months have 29 or 30 days, the years have 12 or 13 months with the leap month after
// its namesake, and a lunar date leads back to its day.
TEST(AlmanacLunar, EveryDayFollowsTheDayBefore) {
    const std::int64_t first = almanac::DayNumber(D(1901, 2, 19));
    const std::int64_t last = almanac::DayNumber(D(2100, 12, 31));
    std::optional<LunarDate> before;
    std::map<int, int> monthsOfYear;
    for (std::int64_t n = first; n <= last; ++n) {
        const Date date = almanac::DateOfDayNumber(n);
        const std::optional<LunarDate> now = almanac::LunarOf(date);
        ASSERT_TRUE(now) << n;
        ASSERT_TRUE(now->monthDays == 29 || now->monthDays == 30);
        ASSERT_LE(now->day, now->monthDays);
        if (before) {
            if (now->day != 1) {
                ASSERT_EQ(now->day, before->day + 1) << n;
                ASSERT_EQ(now->month, before->month);
                ASSERT_EQ(now->leap, before->leap);
                ASSERT_EQ(now->year, before->year);
            } else {
                ASSERT_EQ(before->day, before->monthDays) << n;
                if (now->leap) {
                    ASSERT_EQ(now->month, before->month) << n;
                    ASSERT_EQ(almanac::LeapMonthOf(now->year), now->month);
                } else if (now->month == 1) {
                    ASSERT_EQ(before->month, 12) << n;
                    ASSERT_EQ(now->year, before->year + 1);
                } else {
                    ASSERT_EQ(now->month, before->month + 1) << n;
                }
            }
        }
        if (now->day == 1) {
            ++monthsOfYear[now->year];
        }
        ASSERT_EQ(almanac::SolarOf(now->year, now->month, now->leap, now->day), date) << n;
        before = now;
    }
    for (const auto& [year, months] : monthsOfYear) {
        EXPECT_EQ(months, almanac::LeapMonthOf(year) != 0 ? 13 : 12) << year;
    }
}

TEST(AlmanacNames, MonthsDaysYearsAndTerms) {
    const struct {
        std::string got, want;
    } cases[] = {
        {almanac::LunarMonthName(1, false), "正月"},
        {almanac::LunarMonthName(10, false), "十月"},
        {almanac::LunarMonthName(11, false), "冬月"},
        {almanac::LunarMonthName(12, false), "腊月"},
        {almanac::LunarMonthName(4, true), "闰四月"},
        {almanac::LunarMonthName(11, true), "闰冬月"},
        {almanac::LunarMonthName(0, false), ""},
        {almanac::LunarDayName(1), "初一"},
        {almanac::LunarDayName(10), "初十"},
        {almanac::LunarDayName(11), "十一"},
        {almanac::LunarDayName(15), "十五"},
        {almanac::LunarDayName(20), "二十"},
        {almanac::LunarDayName(21), "廿一"},
        {almanac::LunarDayName(29), "廿九"},
        {almanac::LunarDayName(30), "三十"},
        {almanac::LunarDayName(31), ""},
        {almanac::GanzhiOfYear(2026), "丙午"},
        {almanac::ZodiacOfYear(2026), "马"},
        {almanac::GanzhiOfYear(1984), "甲子"},
        {almanac::GanzhiOfYear(1901), "辛丑"},
        {almanac::GanzhiOfYear(2100), "庚申"},
        {almanac::ZodiacOfYear(2033), "牛"},
        {almanac::SolarTermName(0), "小寒"},
        {almanac::SolarTermName(6), "清明"},
        {almanac::SolarTermName(23), "冬至"},
        {almanac::SolarTermName(24), ""},
        {almanac::LunarDateText({2026, 8, false, 15, 30}), "丙午年八月十五"},
        {almanac::LunarDateText({2033, 11, true, 1, 29}), "癸丑年闰冬月初一"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.got, c.want);
    }
}

TEST(AlmanacTerms, TermsFallOnTheirBeijingDay) {
    const struct {
        Date date;
        int term;
    } cases[] = {
        {D(2026, 2, 4), 2},    {D(2026, 4, 5), 6},    {D(2026, 6, 21), 11}, {D(2026, 12, 22), 23},
        {D(2021, 12, 21), 23}, // 冬至 a minute before midnight Beijing time
        {D(2027, 1, 5), 0},    {D(2100, 12, 22), 23}, {D(1901, 1, 6), 0},   {D(2026, 4, 4), -1},
        {D(2026, 12, 21), -1}, {D(1900, 12, 22), -1}, {D(2101, 1, 5), -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(almanac::SolarTermOn(c.date), c.term)
            << almanac::YearOf(c.date) << "-" << almanac::MonthOf(c.date) << "-" << almanac::DayOf(c.date);
    }
    // Every year has its 24 terms, two in each month, in order.
    for (int year = almanac::kFirstYear; year <= almanac::kLastYear; ++year) {
        int count = 0;
        for (std::int64_t n = almanac::DayNumber(D(year, 1, 1)); n <= almanac::DayNumber(D(year, 12, 31));
             ++n) {
            const int term = almanac::SolarTermOn(almanac::DateOfDayNumber(n));
            if (term >= 0) {
                EXPECT_EQ(term, count) << year;
                ++count;
            }
        }
        EXPECT_EQ(count, 24) << year;
    }
}

TEST(AlmanacFestivals, FestivalsAndCaptions) {
    const struct {
        Date date;
        std::vector<std::string> festivals;
        std::string caption;
    } cases[] = {
        {D(2026, 2, 17), {"春节"}, "春节"},
        {D(2026, 2, 16), {"除夕"}, "除夕"}, // 腊月 2025 has 29 days
        {D(2027, 2, 5), {"除夕"}, "除夕"},
        {D(2025, 1, 28), {"除夕"}, "除夕"}, // the 29th again
        {D(2024, 2, 9), {"除夕"}, "除夕"},  // the 30th
        {D(2024, 2, 8), {}, "廿九"},        // a 30-day 腊月's 29th is no 除夕
        {D(2026, 3, 3), {"元宵"}, "元宵"},
        {D(2026, 9, 25), {"中秋"}, "中秋"},
        {D(2026, 6, 19), {"端午"}, "端午"},
        {D(2026, 4, 5), {"清明"}, "清明"},
        {D(2026, 12, 22), {"冬至"}, "冬至"},
        {D(2026, 1, 1), {"元旦"}, "元旦"},
        {D(2026, 10, 1), {"国庆节"}, "国庆节"},
        {D(2026, 2, 14), {"情人节"}, "情人节"},
        {D(2026, 2, 4), {}, "立春"},  // a term without a festival
        {D(2026, 3, 19), {}, "二月"}, // 初一 shows its month
        {D(2025, 7, 25), {}, "闰六月"},
        {D(2025, 7, 31), {}, "初七"}, // 闰六月's 初七 is no 七夕
        {D(2026, 8, 19), {"七夕"}, "七夕"},
        {D(2026, 1, 26), {"腊八"}, "腊八"},
        {D(2026, 2, 10), {"小年"}, "小年"},
        {D(2026, 12, 9), {}, "冬月"},
        {D(1900, 5, 1), {"劳动节"}, "劳动节"}, // Gregorian festivals outside the table still show
        {D(2101, 1, 2), {}, ""},
    };
    for (const auto& c : cases) {
        const almanac::DayFacts facts = almanac::FactsOf(c.date);
        EXPECT_EQ(facts.festivals, c.festivals) << almanac::DayNumber(c.date);
        EXPECT_EQ(almanac::CellCaption(facts), c.caption) << almanac::DayNumber(c.date);
    }
    // A day that is a festival of both calendars lists the lunar one first.
    const almanac::DayFacts both = almanac::FactsOf(D(2001, 10, 1)); // 中秋 and 国庆节
    EXPECT_EQ(both.festivals, (std::vector<std::string>{"中秋", "国庆节"}));
}

TEST(AlmanacHolidays, BuiltInMarks) {
    const auto& schedule = almanac::HolidaySchedule::BuiltIn();
    const struct {
        Date date;
        DayOff off;
        std::string holiday;
    } cases[] = {
        {D(2026, 2, 14), DayOff::Work, "春节"},   {D(2026, 2, 15), DayOff::Rest, "春节"},
        {D(2026, 2, 23), DayOff::Rest, "春节"},   {D(2026, 2, 24), DayOff::None, ""},
        {D(2026, 10, 1), DayOff::Rest, "国庆节"}, {D(2026, 9, 20), DayOff::Work, "国庆节"},
        {D(2026, 1, 4), DayOff::Work, "元旦"},    {D(2015, 9, 3), DayOff::Rest, "抗战胜利纪念日"},
        {D(2015, 6, 21), DayOff::Rest, "端午节"}, // a Sunday inside the holiday
        {D(2013, 4, 7), DayOff::Work, "清明节"},  {D(2007, 2, 17), DayOff::Work, "春节"},
        {D(2012, 10, 8), DayOff::None, ""}, // a Monday one source marks as work
        {D(2006, 1, 1), DayOff::None, ""},  // before the data
        {D(2027, 1, 1), DayOff::None, ""},  // beyond the data: no guess
        {D(2027, 10, 1), DayOff::None, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(schedule.MarkOn(c.date), c.off) << almanac::DayNumber(c.date);
        EXPECT_EQ(schedule.HolidayOn(c.date), c.holiday) << almanac::DayNumber(c.date);
    }
    EXPECT_EQ(schedule.FirstYear(), 2007);
    EXPECT_EQ(schedule.LastYear(), 2026);
    EXPECT_EQ(almanac::FactsOf(D(2026, 2, 15)).off, DayOff::Rest);
}

TEST(AlmanacHolidays, AFileAddsANewerYear) {
    const std::string file = "\xEF\xBB\xBFquillidar-holidays 1\r\n"
                             "# 2027, as published\n"
                             "year 2027\n"
                             "2027-01-01 rest newyear\n"
                             "2027-02-06 work spring   # a Saturday\n"
                             "2027-02-07 rest spring\n"
                             "\n"
                             "year 2028\n";
    std::vector<std::string> problems;
    const auto schedule = almanac::HolidaySchedule::WithFile(file, &problems);
    EXPECT_TRUE(problems.empty()) << (problems.empty() ? "" : problems.front());
    EXPECT_EQ(schedule.MarkOn(D(2027, 1, 1)), DayOff::Rest);
    EXPECT_EQ(schedule.MarkOn(D(2027, 2, 6)), DayOff::Work);
    EXPECT_EQ(schedule.HolidayOn(D(2027, 2, 7)), "春节");
    EXPECT_EQ(schedule.MarkOn(D(2027, 2, 8)), DayOff::None);
    EXPECT_EQ(schedule.MarkOn(D(2026, 2, 15)), DayOff::Rest); // the built-in years stay
    EXPECT_TRUE(schedule.Covers(2028));
    EXPECT_EQ(schedule.LastYear(), 2028);
}

// Any fault in the file and the file adds nothing: one line names it, the built-in marks stay.
TEST(AlmanacHolidays, AMalformedFileAddsNothing) {
    const std::string head = "quillidar-holidays 1\nyear 2027\n";
    const struct {
        std::string file;
        std::string problem; // a part of the line that names it
    } cases[] = {
        {"", "empty"},
        {"# nothing\n", "empty"},
        {"quillidar-holidays 2\nyear 2027\n", "first line"},
        {"year 2027\n2027-01-01 rest newyear\n", "first line"},
        {head + "2027-01-01 rest\n", "expected"},
        {head + "2027-13-01 rest newyear\n", "expected"},
        {head + "2027-02-30 rest spring\n", "expected"},
        {head + "2027/01/01 rest newyear\n", "expected"},
        {head + "2027-01-01 off newyear\n", "expected"},
        {head + "2027-01-01 rest christmas\n", "unknown holiday"},
        {head + "2028-01-01 rest newyear\n", "no \"year\" line"},
        {head + "2027-01-04 work newyear\n", "Saturday or Sunday"}, // a Monday
        {head + "2027-01-01 rest newyear\n2027-01-01 rest newyear\n", "twice"},
        {"quillidar-holidays 1\nyear 2026\n", "already known"},
        {head + "year 2027\n", "already known"},
        {head + "year 27\n", "four-digit"},
        {"quillidar-holidays 1\n" + std::string(70 * 1024, '#'), "64 KB"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> problems;
        const auto schedule = almanac::HolidaySchedule::WithFile(c.file, &problems);
        ASSERT_EQ(problems.size(), 1u) << c.file.substr(0, 80);
        EXPECT_NE(problems[0].find(c.problem), std::string::npos) << problems[0];
        EXPECT_EQ(problems[0].rfind(almanac::HolidayFileName(), 0), 0u) << problems[0];
        EXPECT_FALSE(schedule.Covers(2027)) << c.file.substr(0, 80);
        EXPECT_EQ(schedule.MarkOn(D(2027, 1, 1)), DayOff::None);
        EXPECT_EQ(schedule.MarkOn(D(2026, 2, 15)), DayOff::Rest);
    }
}

// The rules together, over every day of the table: a caption is the first festival, else the term,
// else the month's name on 初一, else the lunar day; each lunar year has one 春节 and one 除夕 on the
// day before it; 清明 and 冬至 are festivals exactly on their terms.
TEST(AlmanacFestivals, EveryDayOfTheTableFollowsTheCaptionAndFestivalRules) {
    const std::int64_t first = almanac::DayNumber(D(1901, 2, 19));
    const std::int64_t last = almanac::DayNumber(D(2100, 12, 31));
    std::map<int, int> springs, eves;
    for (std::int64_t n = first; n <= last; ++n) {
        const almanac::DayFacts facts = almanac::FactsOf(almanac::DateOfDayNumber(n));
        ASSERT_TRUE(facts.lunar);
        const LunarDate& l = *facts.lunar;
        std::string want;
        if (!facts.festivals.empty()) {
            want = facts.festivals.front();
        } else if (facts.term >= 0) {
            want = almanac::SolarTermName(facts.term);
        } else if (l.day == 1) {
            want = almanac::LunarMonthName(l.month, l.leap);
        } else {
            want = almanac::LunarDayName(l.day);
        }
        ASSERT_EQ(almanac::CellCaption(facts), want) << n;
        const auto has = [&](const char* name) {
            return std::find(facts.festivals.begin(), facts.festivals.end(), name) != facts.festivals.end();
        };
        ASSERT_EQ(has("春节"), l.month == 1 && l.day == 1 && !l.leap) << n;
        const std::optional<LunarDate> next = almanac::LunarOf(almanac::DateOfDayNumber(n + 1));
        ASSERT_EQ(has("除夕"), next && next->month == 1 && next->day == 1 && !next->leap) << n;
        ASSERT_EQ(has("清明"), facts.term == 6) << n;
        ASSERT_EQ(has("冬至"), facts.term == 23) << n;
        ASSERT_EQ(has("中秋"), l.month == 8 && l.day == 15 && !l.leap) << n;
        springs[l.year] += has("春节");
        eves[l.year] += has("除夕");
    }
    for (int year = almanac::kFirstYear; year < almanac::kLastYear; ++year) {
        EXPECT_EQ(springs[year], 1) << year;
        EXPECT_EQ(eves[year], 1) << year;
    }
}

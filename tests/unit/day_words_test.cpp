// What the tooltip and the screen reader say about a day, from the almanac's facts.
#include <gtest/gtest.h>

#include "interaction/day_words.h"

namespace quill {
namespace {

using namespace std::chrono;

almanac::Date D(int y, unsigned m, unsigned d) {
    return almanac::Date{year{y}, month{m}, day{d}};
}

almanac::DayFacts Facts(almanac::Date date, std::optional<almanac::LunarDate> lunar, int term = -1,
                        std::vector<std::string> festivals = {},
                        almanac::DayOff off = almanac::DayOff::None) {
    almanac::DayFacts f;
    f.date = date;
    f.lunar = lunar;
    f.term = term;
    f.festivals = std::move(festivals);
    f.off = off;
    return f;
}

TEST(DayWords, WeekdaysAndLongDates) {
    struct Case {
        almanac::Date date;
        std::string text;
    } cases[] = {
        {D(2026, 12, 9), "2026年12月9日 星期三"},
        {D(2026, 12, 13), "2026年12月13日 星期日"},
        {D(2027, 1, 1), "2027年1月1日 星期五"},
        {D(1901, 2, 19), "1901年2月19日 星期二"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LongDate(c.date), c.text);
    EXPECT_EQ(WeekdayHead(Monday), "一");
    EXPECT_EQ(WeekdayHead(Sunday), "日");
    EXPECT_EQ(WeekdayHead(Saturday), "六");
}

TEST(DayWords, NoteFirstLine) {
    struct Case {
        std::string note;
        std::size_t max;
        std::string line;
    } cases[] = {
        {"", 10, ""},
        {"  去公园\r\n第二行", 10, "去公园"},
        {"去公园玩", 2, "去公…"},
        {"ab去c", 3, "ab去…"},
        {"\r\n第二行", 10, ""},
        {"abc", 3, "abc"},
        {std::string("\x81\x30\x81\x30x", 5), 1,
         std::string("\x81\x30\x81\x30", 4) + "…"}, // four bytes, whole
        {std::string("a\xB0", 2), 1, "a…"},         // a lead byte left at the end is not a pair
        {std::string("ab\xB0", 3), 5, "ab\xB0"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NoteFirstLine(c.note, c.max), c.line) << c.note;
}

TEST(DayWords, TooltipLines) {
    const almanac::LunarDate chuyi{2026, 11, false, 1, 30};
    const almanac::LunarDate chuer{2026, 11, false, 2, 30};
    const almanac::LunarDate leap{2025, 6, true, 15, 29};
    const almanac::LunarDate chuxi{2026, 12, false, 29, 29};
    struct Case {
        almanac::DayFacts facts;
        std::string note;
        std::vector<std::string> lines;
    } cases[] = {
        {Facts(D(2026, 12, 10), chuer), "", {"2026年12月10日 星期四", "农历冬月初二"}},
        {Facts(D(2026, 12, 9), chuyi),
         "读书\r\n",
         {"2026年12月9日 星期三", "农历冬月初一 丙午年（马年）", "日记：读书"}},
        {Facts(D(2025, 8, 8), leap), "", {"2025年8月8日 星期五", "农历闰六月十五"}},
        {Facts(D(2027, 2, 5), chuxi, -1, {"除夕"}, almanac::DayOff::Rest),
         "",
         {"2027年2月5日 星期五", "农历腊月廿九", "除夕", "休（放假）"}},
        {Facts(D(2026, 12, 22), chuer, 23, {"冬至"}), "", {"2026年12月22日 星期二", "农历冬月初二", "冬至"}},
        {Facts(D(2026, 9, 20), chuer, -1, {}, almanac::DayOff::Work),
         "",
         {"2026年9月20日 星期日", "农历冬月初二", "班（调休上班）"}},
        {Facts(D(2027, 1, 1), chuer, -1, {"元旦"}),
         "",
         {"2027年1月1日 星期五", "农历冬月初二 丙午年（马年）", "元旦"}},
        {Facts(D(1901, 1, 1), std::nullopt, 0, {"元旦", "x"}),
         "",
         {"1901年1月1日 星期二", "小寒", "元旦、x"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DayTipLines(c.facts, c.note), c.lines) << c.lines[0];
    }
    EXPECT_EQ(DayTipText(cases[0].facts, ""), "2026年12月10日 星期四\r\n农历冬月初二");
}

TEST(DayWords, AccessibleNames) {
    const almanac::LunarDate chuer{2026, 11, false, 2, 30};
    struct Case {
        almanac::DayFacts facts;
        bool note;
        std::string name;
    } cases[] = {
        {Facts(D(2026, 12, 10), chuer), false, "2026年12月10日 星期四，农历冬月初二"},
        {Facts(D(2026, 12, 10), chuer), true, "2026年12月10日 星期四，农历冬月初二，有日记"},
        {Facts(D(2026, 9, 20), chuer, -1, {"a", "b"}, almanac::DayOff::Work), false,
         "2026年9月20日 星期日，农历冬月初二，a、b，班（调休上班）"},
        {Facts(D(1800, 1, 2), std::nullopt), true, "1800年1月2日 星期四，有日记"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DayAccessibleName(c.facts, c.note), c.name);
}

// The almanac's own facts for days whose words are known from the published calendar.
TEST(DayWords, TheAlmanacsDaysInWords) {
    struct Case {
        almanac::Date date;
        std::string tip;
        std::string caption;
    } cases[] = {
        {D(2026, 12, 9), "2026年12月9日 星期三\r\n农历冬月初一 丙午年（马年）", "冬月"},
        // 除夕 on the 29th of a short 腊月, in a year whose holidays are not yet published: no mark.
        {D(2027, 2, 5), "2027年2月5日 星期五\r\n农历腊月廿九\r\n除夕", "除夕"},
        {D(2025, 7, 25), "2025年7月25日 星期五\r\n农历闰六月初一 乙巳年（蛇年）", "闰六月"},
        {D(2033, 12, 22), "2033年12月22日 星期四\r\n农历闰冬月初一 癸丑年（牛年）", "闰冬月"},
        // A 班 Saturday.
        {D(2026, 2, 14), "2026年2月14日 星期六\r\n农历腊月廿七\r\n情人节\r\n班（调休上班）", "情人节"},
        {D(2026, 10, 1), "2026年10月1日 星期四\r\n农历八月廿一\r\n国庆节\r\n休（放假）", "国庆节"},
        {D(2026, 4, 5), "2026年4月5日 星期日\r\n农历二月十八\r\n清明\r\n休（放假）", "清明"},
        {D(1901, 1, 1), "1901年1月1日 星期二\r\n元旦", "元旦"},
    };
    for (const Case& c : cases) {
        const almanac::DayFacts facts = almanac::FactsOf(c.date);
        EXPECT_EQ(DayTipText(facts, ""), c.tip);
        EXPECT_EQ(almanac::CellCaption(facts), c.caption);
    }
    struct Title {
        year_month month;
        std::string title;
    } titles[] = {
        {year{2026} / February, "2026年2月 乙巳年—丙午年"},
        {year{2026} / December, "2026年12月 丙午年"},
        {year{1901} / January, "1901年1月"},
        {year{1901} / February, "1901年2月 辛丑年"}, // the table begins on the 19th
    };
    for (const Title& t : titles)
        EXPECT_EQ(GridTitle(t.month), t.title);
}

} // namespace
} // namespace quill

// Clock text expansion: every conversion, the '#' forms, GBK text, the size limit and bad times.
#include <gtest/gtest.h>

#include "appearance/clock_format.h"

#include <ctime>
#include <string>
#include <string_view>

using namespace quill;

namespace {

// Tuesday 8 December 2026 (day 342 of the year) at the given time.
ClockTime At(int hour, int minute, int second) {
    return ClockTime{.year = 2026,
                     .month = 12,
                     .day = 8,
                     .hour = hour,
                     .minute = minute,
                     .second = second,
                     .weekday = 2,
                     .yearday = 341};
}

ClockTime Tuesday() {
    return At(14, 5, 9);
}

const ClockZone kChina{"\xD6\xD0\xB9\xFA\xB1\xEA\xD7\xBC\xCA\xB1\xBC\xE4", "DST", 480, 540};

struct Case {
    std::string_view pattern;
    std::string_view expected;
};

void ExpectAll(const ClockTime& time, std::initializer_list<Case> cases, const ClockZone& zone = {}) {
    for (const Case& c : cases) {
        EXPECT_EQ(ExpandClockPattern(c.pattern, time, zone), c.expected) << "pattern " << c.pattern;
    }
}

} // namespace

TEST(ClockFormat, FixedFormatsGiveTheMenuExamples) {
    ExpectAll(Tuesday(), {
                             {"%H:%M:%S", "14:05:09"},
                             {"%I:%M:%S %p", "02:05:09 PM"},
                             {"%a %H:%M:%S", "Tue 14:05:09"},
                             {"%a %I:%M:%S %p", "Tue 02:05:09 PM"},
                             {"%A %H:%M", "Tuesday 14:05"},
                             {"%A %I:%M %p", "Tuesday 02:05 PM"},
                         });
}

TEST(ClockFormat, EveryConversion) {
    ExpectAll(Tuesday(),
              {
                  {"%a|%A|%b|%B", "Tue|Tuesday|Dec|December"},
                  {"%c", "12/08/26 14:05:09"},
                  {"%x", "12/08/26"},
                  {"%X", "14:05:09"},
                  {"%d %H %I %j %m %M %S", "08 14 02 342 12 05 09"},
                  {"%U %w %W", "49 2 49"},
                  {"%y %Y", "26 2026"},
                  {"%p", "PM"},
                  {"%z %Z", "+0800 \xD6\xD0\xB9\xFA\xB1\xEA\xD7\xBC\xCA\xB1\xBC\xE4"},
                  {"100%%", "100%"},
                  {"%%H", "%H"},
              },
              kChina);
}

TEST(ClockFormat, HashFlagDropsLeadingZerosAndLengthensDates) {
    ExpectAll(Tuesday(), {
                             {"%#d|%#H|%#I|%#j|%#m|%#M|%#S", "8|14|2|342|12|5|9"},
                             {"%#U|%#w|%#W|%#y|%#Y", "49|2|49|26|2026"},
                             {"%#x", "Tuesday, December 8, 2026"},
                             {"%#c", "Tuesday, December 8, 2026 14:5:9"},
                             {"%#X", "14:5:9"},
                             {"%#a %#A %#b %#B %#p %#%", "Tue Tuesday Dec December PM %"},
                         });
    ClockTime newYear = At(0, 0, 0);
    newYear.month = 1;
    newYear.day = 1;
    newYear.year = 2024;
    newYear.yearday = 0;
    newYear.weekday = 1;
    ExpectAll(newYear, {
                           {"%#d/%#m/%#y %#H:%#M:%#S %#j", "1/1/24 0:0:0 1"},
                           {"%d/%m/%y %H:%M:%S %j", "01/01/24 00:00:00 001"},
                           {"%#U %#W %U %W", "0 1 00 01"},
                       });
}

TEST(ClockFormat, TwelveHourClockAroundMidnightAndNoon) {
    struct HourCase {
        int hour;
        std::string_view expected;
    };
    for (const HourCase& c : std::initializer_list<HourCase>{{0, "12 AM 12"},
                                                             {1, "01 AM 1"},
                                                             {11, "11 AM 11"},
                                                             {12, "12 PM 12"},
                                                             {13, "01 PM 1"},
                                                             {23, "11 PM 11"}}) {
        EXPECT_EQ(ExpandClockPattern("%I %p %#I", At(c.hour, 0, 0)), c.expected) << "hour " << c.hour;
    }
}

TEST(ClockFormat, UnknownConversionsAndStrayPercentSignsWriteNothing) {
    ExpectAll(Tuesday(), {
                             {"a%Qb", "ab"},
                             {"%Q%H", "14"},
                             {"%", ""},
                             {"abc%", "abc"},
                             {"abc%#", "abc"},
                             {"%#Q|", "|"},
                             {"%Ey", "y"},
                             {"%%%", "%"},
                             {"abc", "abc"},
                             {"", ""},
                         });
}

TEST(ClockFormat, GbkTextIsCopiedWhole) {
    ExpectAll(Tuesday(), {
                             // the default custom pattern
                             {"\xCA\xB1\xBC\xE4 %H:%M", "\xCA\xB1\xBC\xE4 14:05"},
                             // a lead byte before '%' has no trail byte: the conversion still counts
                             {"\x81%H", "\x81"
                                        "14"},
                             // trail byte 'H' belongs to the character, not to a conversion
                             {"\x81H%M", "\x81H05"},
                             // a double-byte character after '%' is swallowed whole, never split
                             {"%\x81H|", "|"},
                             {"%#\xCA\xB1|", "|"},
                             {"%\x81%H", "14"},
                             // a lead byte at the very end stays as it is
                             {"ab\x81", "ab\x81"},
                         });
}

TEST(ClockFormat, PatternEndsAtItsFirstZeroByte) {
    EXPECT_EQ(ExpandClockPattern(std::string_view("ab\0%H", 5), Tuesday()), "ab");
}

TEST(ClockFormat, ResultOf128BytesOrMoreIsEmpty) {
    const std::string fill125(125, 'x');
    EXPECT_EQ(ExpandClockPattern(std::string(127, 'a'), Tuesday()), std::string(127, 'a'));
    EXPECT_EQ(ExpandClockPattern(std::string(128, 'a'), Tuesday()), "");
    EXPECT_EQ(ExpandClockPattern(fill125 + "%H", Tuesday()), fill125 + "14");
    EXPECT_EQ(ExpandClockPattern(fill125 + "x%H", Tuesday()), "");
    // a short pattern with a long result: "%#c" writes 32 bytes here
    EXPECT_EQ(ExpandClockPattern("%#c%#c%#c%#c", Tuesday()), "");
    EXPECT_EQ(ExpandClockPattern("%#c%#c%#c%#X%#X%#X%#X%#X", Tuesday()).size(), 126u);

    ClockTextBuffer buffer;
    buffer[0] = 'z';
    EXPECT_EQ(ExpandClockPattern(std::string(200, 'a'), Tuesday(), {}, buffer), 0u);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(ExpandClockPattern(fill125 + "%M", Tuesday(), {}, buffer), 127u);
    EXPECT_EQ(std::string_view(buffer), fill125 + "05");
}

TEST(ClockFormat, ZoneFollowsDaylightFlag) {
    ClockTime summer = Tuesday();
    summer.isdst = true;
    EXPECT_EQ(ExpandClockPattern("%z %Z", summer, kChina), "+0900 DST");
    EXPECT_EQ(ExpandClockPattern("%z", Tuesday(), ClockZone{"IST", "IST", -330, {}}), "-0530");
    EXPECT_EQ(ExpandClockPattern("[%z%Z]", summer, ClockZone{"IST", "", -330, {}}), "[]");
    EXPECT_EQ(ExpandClockPattern("[%z%Z]", Tuesday()), "[]");
}

TEST(ClockFormat, TimeWithAFieldOutOfRangeGivesEmptyText) {
    struct Bad {
        const char* what;
        void (*spoil)(ClockTime&);
    } bad[] = {
        {"month 0", [](ClockTime& t) { t.month = 0; }},
        {"month 13", [](ClockTime& t) { t.month = 13; }},
        {"day 0", [](ClockTime& t) { t.day = 0; }},
        {"day 32", [](ClockTime& t) { t.day = 32; }},
        {"hour 24", [](ClockTime& t) { t.hour = 24; }},
        {"minute -1", [](ClockTime& t) { t.minute = -1; }},
        {"second 61", [](ClockTime& t) { t.second = 61; }},
        {"weekday 7", [](ClockTime& t) { t.weekday = 7; }},
        {"yearday 366", [](ClockTime& t) { t.yearday = 366; }},
        {"year -1", [](ClockTime& t) { t.year = -1; }},
        {"year 10000", [](ClockTime& t) { t.year = 10000; }},
    };
    for (const Bad& b : bad) {
        ClockTime t = Tuesday();
        b.spoil(t);
        EXPECT_EQ(ExpandClockPattern("abc %a %b", t), "") << b.what;
    }
    ClockTime leap = At(23, 59, 60);
    EXPECT_EQ(ExpandClockPattern("%X", leap), "23:59:60");
}

// The runtime's strftime agrees with ours on every conversion both define the same way; a sweep
// over three years of days catches week-number and day-name slips at every year boundary.
TEST(ClockFormat, AgreesWithTheRuntimeOverManyDays) {
    const std::string_view pattern = "%a %A %b %B %d %H %I %j %m %M %p %S %U %w %W %y %Y %x %X %%";
    const std::time_t start = 1672531200; // 2023-01-01 00:00:00 UTC, a Sunday
    for (int day = 0; day < 3 * 366; ++day) {
        const std::time_t instant = start + std::time_t{day} * 86400 + (day * 3917) % 86400;
        const std::tm* tm = std::gmtime(&instant);
        ASSERT_NE(tm, nullptr);
        char expected[128];
        const std::size_t length = std::strftime(expected, sizeof expected, std::string(pattern).c_str(), tm);
        ASSERT_GT(length, 0u);
        EXPECT_EQ(ExpandClockPattern(pattern, ClockTimeFromTm(*tm)), std::string_view(expected, length))
            << "day " << day;
    }
}

TEST(ClockFormat, PatternByFormatId) {
    const std::string_view custom = "\xCA\xB1\xBC\xE4 %H:%M";
    EXPECT_EQ(ClockPatternFor(40, custom), "%H:%M:%S");
    EXPECT_EQ(ClockPatternFor(43, custom), "%a %I:%M:%S %p");
    EXPECT_EQ(ClockPatternFor(45, custom), "%A %I:%M %p");
    EXPECT_EQ(ClockPatternFor(46, custom), custom);
    EXPECT_EQ(ClockPatternFor(46, ""), "");
    for (int id : {0, 39, 47, 48, -43, 1000}) {
        EXPECT_EQ(ClockPatternFor(id, custom), "") << id;
    }
    ASSERT_EQ(kFixedClockFormats.size(), 6u);
    for (std::size_t i = 0; i < kFixedClockFormats.size(); ++i) {
        EXPECT_EQ(kFixedClockFormats[i].id, 40 + static_cast<int>(i));
    }
}

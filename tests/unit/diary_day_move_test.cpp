// The keys that move the selected day, the dates they lead to, and the rule at midnight, under fixed
// time zones and fixed instants.
#include <gtest/gtest.h>

#include "scoped_tz.h"

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "diary/day_move.h"

namespace {

using quill::CivilDate;
using quill::DayMove;

TEST(DayMove, Keys) {
    struct Case {
        unsigned vk;
        bool ctrl, shift, alt;
        std::optional<DayMove> move;
    } cases[] = {
        {quill::kVkLeft, true, false, false, DayMove{false, -1}},
        {quill::kVkRight, true, false, false, DayMove{false, 1}},
        {quill::kVkUp, true, false, false, DayMove{false, -7}},
        {quill::kVkDown, true, false, false, DayMove{false, 7}},
        {quill::kVkHome, true, false, false, DayMove{true, 0}},
        // Without Ctrl the keys move the caret in the note box; with Shift they select words.
        {quill::kVkLeft, false, false, false, std::nullopt},
        {quill::kVkHome, false, false, false, std::nullopt},
        {quill::kVkRight, true, true, false, std::nullopt},
        {quill::kVkHome, true, true, false, std::nullopt},
        {quill::kVkDown, true, false, true, std::nullopt},
        {0x23 /* End */, true, false, false, std::nullopt},
        {0x41 /* A */, true, false, false, std::nullopt},
        {0x21 /* Page Up */, true, false, false, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(quill::DayMoveOfKey(c.vk, c.ctrl, c.shift, c.alt), c.move)
            << c.vk << " ctrl " << c.ctrl << " shift " << c.shift << " alt " << c.alt;
}

TEST(DayMove, Dates) {
    const CivilDate today{2026, 12, 9};
    struct Case {
        CivilDate from;
        DayMove move;
        std::optional<CivilDate> to;
    } cases[] = {
        {{2026, 12, 9}, {false, 1}, CivilDate{2026, 12, 10}},
        {{2026, 12, 31}, {false, 1}, CivilDate{2027, 1, 1}},
        {{2027, 1, 1}, {false, -1}, CivilDate{2026, 12, 31}},
        {{2024, 2, 28}, {false, 1}, CivilDate{2024, 2, 29}},
        {{2023, 2, 28}, {false, 1}, CivilDate{2023, 3, 1}},
        {{2100, 2, 28}, {false, 1}, CivilDate{2100, 3, 1}},
        {{2000, 2, 28}, {false, 1}, CivilDate{2000, 2, 29}},
        {{2024, 3, 4}, {false, -7}, CivilDate{2024, 2, 26}},
        {{2026, 12, 28}, {false, 7}, CivilDate{2027, 1, 4}},
        // Today, from anywhere, in any month or year.
        {{1999, 5, 17}, {true, 0}, today},
        {{2026, 12, 9}, {true, 0}, today},
        // The ends of what a month calendar shows.
        {{9999, 12, 31}, {false, 1}, std::nullopt},
        {{9999, 12, 25}, {false, 7}, std::nullopt},
        {{1601, 1, 1}, {false, -1}, std::nullopt},
        {{1601, 1, 2}, {false, -1}, CivilDate{1601, 1, 1}},
        // No date to move from.
        {{2026, 2, 30}, {false, 1}, std::nullopt},
        {{2026, 13, 1}, {false, 1}, std::nullopt},
        {{0, 0, 0}, {false, -1}, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(quill::DateAfterMove(c.from, c.move, today), c.to)
            << c.from.year << "-" << c.from.month << "-" << c.from.day << " by " << c.move.days;
    EXPECT_EQ(quill::DateAfterMove({2026, 2, 30}, {true, 0}, today), today) << "today needs no start";
    EXPECT_EQ(quill::DateAfterMove({2026, 1, 1}, {true, 0}, {2026, 2, 30}), std::nullopt);
}

// 2026-12-09 23:59:00 and 2026-12-10 00:00:00 in Shanghai (UTC+8), as seconds since 1970.
constexpr std::int64_t kShanghaiLastMinute = 1796831940;
constexpr std::int64_t kShanghaiMidnight = kShanghaiLastMinute + 60;

TEST(DayMove, DateChangeSeenByTheClock) {
    ScopedTz tz("CST-8");
    struct Case {
        std::int64_t lastLooked;
        std::int64_t now;
        bool changed;
        const char* what;
    } cases[] = {
        {kShanghaiLastMinute, kShanghaiMidnight, true, "the minute after 23:59"},
        {kShanghaiLastMinute + 59, kShanghaiMidnight, true, "the second after 23:59:59"},
        {kShanghaiLastMinute, kShanghaiMidnight - 1, false, "23:59:59 is still the same day"},
        {kShanghaiMidnight, kShanghaiMidnight + 59, false, "within the new day's first minute"},
        {kShanghaiLastMinute - 12 * 3600, kShanghaiLastMinute, false, "noon to midnight"},
        {kShanghaiLastMinute, kShanghaiMidnight + 8 * 3600, true, "asleep until the morning"},
        {kShanghaiMidnight, kShanghaiLastMinute, true, "a clock set back before midnight"},
        {kShanghaiLastMinute, kShanghaiLastMinute + 3 * 86400, true, "three days asleep"},
        {-1, kShanghaiMidnight, false, "the clock had not been read"},
        {kShanghaiLastMinute, -5, false, "a time the keys do not cover"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(quill::DateChangedSince(c.lastLooked, c.now), c.changed) << c.what;
}

TEST(DayMove, DateChangeFollowsTheZone) {
    // The same two instants are one day in UTC (15:59 and 16:00) and two in Shanghai.
    {
        ScopedTz tz("UTC0");
        EXPECT_FALSE(quill::DateChangedSince(kShanghaiLastMinute, kShanghaiMidnight));
        EXPECT_TRUE(quill::DateChangedSince(kShanghaiLastMinute + 8 * 3600, kShanghaiMidnight + 8 * 3600));
    }
    {
        ScopedTz tz("CST-8");
        EXPECT_TRUE(quill::DateChangedSince(kShanghaiLastMinute, kShanghaiMidnight));
    }
}

TEST(DayMove, Midnight) {
    struct Case {
        bool dateChanged;
        bool unfiled;
        quill::DayFollow follow;
    } cases[] = {
        {true, false, quill::DayFollow::ToToday}, // left open, untouched
        {true, true, quill::DayFollow::Stay},     // typing across midnight stays on its day
        {false, false, quill::DayFollow::Stay},
        {false, true, quill::DayFollow::Stay},
    };
    for (const Case& c : cases)
        EXPECT_EQ(quill::FollowAtDateChange(c.dateChanged, c.unfiled), c.follow)
            << c.dateChanged << " " << c.unfiled;
}

} // namespace

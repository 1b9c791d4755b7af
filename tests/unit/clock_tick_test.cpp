// The clock's wake-ups: the step a pattern needs, patterns that show nothing, and the wait to the
// next boundary (seconds, minutes, midnight, before 1970, and a clock set back or forward).
#include <gtest/gtest.h>

#include "appearance/clock_tick.h"

#include <cstdint>
#include <string_view>

using namespace quill;

namespace {

struct PatternCase {
    std::string_view pattern;
    ClockStep step;
    bool showsNothing;
};

TEST(ClockTick, StepAndEmptinessOfPatterns) {
    const PatternCase cases[] = {
        {"%a %I:%M:%S %p", ClockStep::Second, false}, // the default
        {"%H:%M:%S", ClockStep::Second, false},
        {"%A %H:%M", ClockStep::Minute, false},
        {"%X", ClockStep::Second, false},
        {"%c", ClockStep::Second, false},
        {"%#c", ClockStep::Second, false},
        {"%#x", ClockStep::Minute, false},
        {"%#S", ClockStep::Second, false},
        {"%%S", ClockStep::Minute, false}, // a percent sign and an S
        {"\xC8\xD5\xBC\xC7 %Y", ClockStep::Minute, false},
        {"x", ClockStep::Minute, false},
        {"", ClockStep::Minute, true},
        {"%q%k%", ClockStep::Minute, true},
        {"%#", ClockStep::Minute, true},
        {std::string_view("\0%S", 3), ClockStep::Minute, true},
        {"%Z", ClockStep::Minute, false},
        {"%A%A%A%A%A%A%A%A%A%A%A%A%A%A%A%A%A%A%A", ClockStep::Minute, true}, // 133 bytes: too long
    };
    for (const PatternCase& c : cases) {
        SCOPED_TRACE(c.pattern);
        EXPECT_EQ(ClockStepOf(c.pattern), c.step);
        EXPECT_EQ(ClockPatternShowsNothing(c.pattern), c.showsNothing);
    }
}

// 2026-12-08 14:05:09.000 UTC, in milliseconds since 1970.
constexpr std::int64_t kTuesday = 1796738709000;
constexpr unsigned kLate = kClockTickLateMs;

struct WaitCase {
    const char* name;
    std::int64_t nowMs;
    ClockStep step;
    unsigned wait;
};

TEST(ClockTick, WaitReachesJustAfterTheNextBoundary) {
    constexpr std::int64_t kMidnight = 1796774400000; // 2026-12-09 00:00:00 UTC
    const WaitCase cases[] = {
        {"on a second", kTuesday, ClockStep::Second, 1000 + kLate},
        {"just after a second", kTuesday + 1, ClockStep::Second, 999 + kLate},
        {"just before a second", kTuesday + 999, ClockStep::Second, 1 + kLate},
        {"on a minute, seconds", kTuesday - 9000, ClockStep::Second, 1000 + kLate},
        {"minutes, mid-minute", kTuesday + 250, ClockStep::Minute, 50750 + kLate},
        {"minutes, on a minute", kTuesday - 9000, ClockStep::Minute, 60000 + kLate},
        {"minutes, last millisecond", kTuesday + 50999, ClockStep::Minute, 1 + kLate},
        {"before midnight, seconds", kMidnight - 1, ClockStep::Second, 1 + kLate},
        {"before midnight, minutes", kMidnight - 30500, ClockStep::Minute, 30500 + kLate},
        {"at midnight", kMidnight, ClockStep::Minute, 60000 + kLate},
        {"before 1970", -1, ClockStep::Second, 1 + kLate},
        {"before 1970, minutes", -59999, ClockStep::Minute, 59999 + kLate},
        {"the epoch", 0, ClockStep::Second, 1000 + kLate},
    };
    for (const WaitCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MsToNextClockTick(c.nowMs, c.step), c.wait);
    }
}

// A model of the clock's ticks: each wakes at now + wait, the system clock may be set between two,
// and every tick must land just after a boundary of the clock as it reads then, never more than a
// step away: no drift, however late the timer or wherever the clock was set.
TEST(ClockTick, TicksStayOnTheBoundariesAcrossClockChanges) {
    struct Step {
        std::int64_t setBy;   // the clock set forward (or back) before the wait is taken
        unsigned timerLateMs; // how late the system delivers the tick
    };
    const Step steps[] = {{0, 0}, {0, 15},       {-3600000, 0}, {0, 16}, {7, 3},      {0, 900}, {86400000, 0},
                          {0, 0}, {-1234567, 1}, {0, 16},       {-1, 0}, {59999, 15}, {0, 0}};
    for (const ClockStep step : {ClockStep::Second, ClockStep::Minute}) {
        const std::int64_t unit = step == ClockStep::Second ? 1000 : 60000;
        std::int64_t now = kTuesday + 123;
        for (const Step& s : steps) {
            now += s.setBy;
            const unsigned wait = MsToNextClockTick(now, step);
            ASSERT_GE(wait, 1u);
            ASSERT_LE(wait, unit + kLate);
            now += wait;
            EXPECT_EQ(((now % unit) + unit) % unit, static_cast<std::int64_t>(kLate)) << "tick at " << now;
            now += s.timerLateMs;
        }
    }
}

} // namespace

// When the title strip's clock must wake next: the step of a pattern and the wait to its boundary.
#include "appearance/clock_tick.h"

#include "appearance/clock_format.h"

namespace quill {

namespace {

// Two instants one second apart, neither at a minute's or an hour's edge, with a zone that has a
// name and an offset: a conversion that writes anything for the real clock writes it here too.
ClockTime Sample(int second) {
    ClockTime t;
    t.year = 2026;
    t.month = 12;
    t.day = 8;
    t.hour = 14;
    t.minute = 5;
    t.second = second;
    t.weekday = 2;
    t.yearday = 341;
    return t;
}

const ClockZone kSampleZone{"UTC", "UTC", 0, 0};

} // namespace

ClockStep ClockStepOf(std::string_view pattern) {
    // Decided by what the expansion does rather than by reading the conversions a second time, so
    // the two can never disagree.
    return ExpandClockPattern(pattern, Sample(9), kSampleZone) ==
                   ExpandClockPattern(pattern, Sample(10), kSampleZone)
               ? ClockStep::Minute
               : ClockStep::Second;
}

bool ClockPatternShowsNothing(std::string_view pattern) {
    return ExpandClockPattern(pattern, Sample(9), kSampleZone).empty();
}

unsigned MsToNextClockTick(std::int64_t nowMs, ClockStep step) {
    const std::int64_t unit = step == ClockStep::Second ? 1000 : 60000;
    // Floored, so that an instant before 1970 counts the same way as one after it.
    std::int64_t into = nowMs % unit;
    if (into < 0)
        into += unit;
    return static_cast<unsigned>(unit - into + kClockTickLateMs);
}

} // namespace quill

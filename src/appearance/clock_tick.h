// When the title strip's clock must wake next, and whether a pattern shows anything at all.
//
// The clock sleeps between the changes of its text: a pattern with seconds changes each second, any
// other pattern at most each minute. Every wait is worked out afresh from the system time at each
// tick, so a late tick, a sleep or a clock set back or forward never makes it drift.
#pragma once

#include <cstdint>
#include <string_view>

namespace quill {

// How often the text of a pattern can change.
enum class ClockStep { Second, Minute };

// A pattern whose text depends on the seconds (%S, %X, %c, %#c...) needs a tick each second.
ClockStep ClockStepOf(std::string_view pattern);

// True for a pattern that expands to nothing: empty, only unknown conversions, or too long to show.
bool ClockPatternShowsNothing(std::string_view pattern);

// Late enough after the boundary that the system clock surely reads the new second, early enough
// that the strip changes within the frame it is due in.
inline constexpr unsigned kClockTickLateMs = 2;
// How far the system may put a tick off to wake together with others.
inline constexpr unsigned kClockTickToleranceMs = 5;

// Milliseconds from `nowMs` (since 1970, UTC) to just after the next boundary of `step`; always from
// 1 up to one whole step plus kClockTickLateMs. Minutes are counted in UTC: every zone's offset is a
// whole number of minutes, so its minutes begin at the same instants.
unsigned MsToNextClockTick(std::int64_t nowMs, ClockStep step);

} // namespace quill

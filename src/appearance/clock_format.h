// Clock text of the title strip: our own expansion of strftime-style patterns, and the clock formats.
//
// The C runtimes disagree on unknown conversions (one of them ends the process), so the strip's
// patterns, which the user types freely, are expanded here. The result is what the classic runtime
// gives in the "C" locale:
//   %a %A %b %B  English day and month names        %p     AM or PM
//   %d %H %I %m %M %S %y  two digits                %j     three digits (001-366)
//   %U %W  week of the year, Sunday or Monday first  %w     weekday, 0 = Sunday
//   %Y     the year                                  %%     one percent sign
//   %c  "MM/dd/yy HH:mm:ss"   %x  "MM/dd/yy"   %X  "HH:mm:ss"
//   %z  offset from UTC, "+0800"                     %Z     the zone's name
// A '#' after the percent sign drops the leading zeros of every number the conversion writes, and
// turns %c and %x into the long date, "Tuesday, December 8, 2026" (%#c adds " 14:5:9"). It has no
// other effect. An unknown conversion, '#' or '%' at the end of the pattern write nothing; a
// double-byte GBK character is never taken apart, not even after a percent sign. The pattern ends at
// its first zero byte. A result of 128 bytes or more, terminating zero included, or a time with a
// field out of range, gives the empty text.
#pragma once

#include <array>
#include <cstddef>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace quill {

// A local time broken down; the caller converts from the platform's clock.
struct ClockTime {
    int year = 1970; // full year, 0 to 9999
    int month = 1;   // 1 to 12
    int day = 1;     // 1 to 31
    int hour = 0;    // 0 to 23
    int minute = 0;  // 0 to 59
    int second = 0;  // 0 to 60, 60 being a leap second
    int weekday = 4; // 0 = Sunday to 6
    int yearday = 0; // 0 to 365, days since 1 January
    bool isdst = false;
};

// The time zone as the platform names it, so %z and %Z need no call of their own. Names are GBK;
// offsets are minutes east of UTC (China is +480). An unknown offset writes nothing for %z.
struct ClockZone {
    std::string_view standardName;
    std::string_view daylightName;
    std::optional<int> standardOffset;
    std::optional<int> daylightOffset;
};

// Field-by-field copy of a C runtime broken-down time (tm_isdst > 0 counts as daylight time).
ClockTime ClockTimeFromTm(const std::tm& tm);

bool IsValidClockTime(const ClockTime& time);

// Fits the strip's clock buffer: at most 127 bytes of text and the terminating zero.
inline constexpr std::size_t kClockTextCapacity = 128;
using ClockTextBuffer = char[kClockTextCapacity];

// Writes the zero-terminated text into `out` and returns its length; 0 (and an empty text) when the
// result would not fit or the time is invalid. Allocates nothing, for the 10 ms clock tick.
std::size_t ExpandClockPattern(std::string_view pattern, const ClockTime& time, const ClockZone& zone,
                               ClockTextBuffer& out);

std::string ExpandClockPattern(std::string_view pattern, const ClockTime& time, const ClockZone& zone = {});

// Clock formats are held by their menu command id, not by an index.
inline constexpr int kTimeFormatFirst = 40;
inline constexpr int kTimeFormatCustom = 46;
inline constexpr int kDefaultTimeFormat = 43;

struct ClockFormat {
    int id = 0;
    std::string_view pattern; // also the text of its menu item
};

// The six fixed formats in menu order. The menu shows the raw patterns, spaces and all.
inline constexpr std::array<ClockFormat, 6> kFixedClockFormats{{
    {40, "%H:%M:%S"},
    {41, "%I:%M:%S %p"},
    {42, "%a %H:%M:%S"},
    {43, "%a %I:%M:%S %p"},
    {44, "%A %H:%M"},
    {45, "%A %I:%M %p"},
}};

// Pattern of a format id: the fixed pattern for 40 to 45, `customPattern` for 46, empty otherwise.
std::string_view ClockPatternFor(int timeFormat, std::string_view customPattern);

} // namespace quill

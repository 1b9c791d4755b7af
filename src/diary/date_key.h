// Date keys: the local date as six digits, day, month and two-digit year ("071226").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The last second the keys cover, 3000-12-31 23:59:59 UTC. The Windows runtime stops there, and
// the range is checked here rather than left to the runtime so every build gives the same keys.
inline constexpr std::int64_t kLastKeyInstant = 32535215999;

// Key of an instant (seconds since 1970-01-01 00:00 UTC) in local time. Empty when the instant lies
// outside 0 .. kLastKeyInstant, when the local date falls after the year 3000, or when the runtime
// cannot convert it.
std::string DateKeyOfInstant(std::int64_t instant);

// The month and year of a key ("1226" of "071226"): every day of a month shares them.
inline std::string_view MonthOfKey(std::string_view key) {
    return key.size() > 4 ? key.substr(key.size() - 4) : key;
}

// Key of a calendar date, checked at its local midnight (the runtime decides daylight saving).
// Days and months out of range roll over as in mktime. A year below 1900 gives the key of the
// instant 0; a date after the year 3000, or whose local midnight comes before the instant 0, gives
// the empty key. The key names the date asked for even when the runtime moves a midnight that
// daylight saving skips to the evening before.
std::string DateKeyOfDate(int year, int month, int day);

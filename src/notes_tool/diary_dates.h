// Dates of the diary's keys. A key ("081226") holds no century, so a year is chosen from the
// hundred years that end with a pivot year.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "almanac/almanac.h"

namespace notes_tool {

struct Date {
    int year = 0;
    int month = 0;
    int day = 0;

    friend auto operator<=>(const Date&, const Date&) = default;
};

inline constexpr int kFirstPivot = 100; // the window then starts in year 1
inline constexpr int kLastPivot = 9999; // ISO dates have four digits

// Next year: a diary written today and a note planned for the new year both fall in the window.
inline int DefaultPivot(int currentYear) {
    return currentYear + 1;
}

// The date of a key in the years pivot-99 .. pivot; nullopt for a key that is not six ASCII digits
// or names no day of that year (31 February, or 29 February of a common year).
std::optional<Date> DateOfKey(std::string_view key, int pivot);
// The number the digits spell (0 for none), or -1 when one of them is no ASCII digit.
int DigitsValue(std::string_view digits);
// "YYYY-MM-DD".
std::string IsoDate(const Date& date);
// Exactly "YYYY-MM-DD" of a real day, year 1 to 9999.
std::optional<Date> ParseIsoDate(std::string_view text);
// The key the widget files the day under: day, month and the year's last two digits.
std::string KeyOfDate(const Date& date);
// A day as given on the command line, "YYYY-MM-DD" or a six-digit key, as its key; nullopt when
// it is neither.
std::optional<std::string> KeyOfDayArgument(std::string_view text);

// Days counted from 1970-01-01, and back, by the almanac's civil arithmetic.
std::int64_t DayNumber(const Date& date);
Date DateOfDayNumber(std::int64_t days);
// The same day as the almanac's date type.
almanac::Date ToCivil(const Date& date);
Date FromCivil(almanac::Date date);

// A day as people say it: "today", "yesterday", "tomorrow", "-3" (three days ago), "+2",
// "2026-12-08", "12-08" (of today's year) or a six-digit key (in the hundred years before pivot).
// nullopt for anything else, and for a key or a month and day that name no day.
std::optional<Date> ParseDay(std::string_view text, const Date& today, int pivot);

} // namespace notes_tool

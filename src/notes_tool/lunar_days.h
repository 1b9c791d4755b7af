// The Chinese calendar as the tool prints and reads it: lunar headings, lunar dates on the command
// line and the month view of cal. Text in and out is UTF-8.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "almanac/almanac.h"
#include "notes_tool/diary_dates.h"

namespace notes_tool {

// "农历十月廿九", then the day's festivals, its term and, given a schedule, its 休/班 ("农历八月十五
// 中秋 休"); empty outside the lunar table and with nothing else to say.
std::string LunarHeading(const Date& date, const almanac::HolidaySchedule* schedule);

// "农历八月十五", "农历闰四月初一", "农历2026年八月十五" (the year is the lunar year; left out, the
// lunar year of today). nullopt when the text is none of them or names no day.
std::optional<Date> ParseLunarWords(std::string_view utf8, const Date& today);
// A lunar date in digits, "2026-08-15", and a leap month's "2026-L04-01" or "2026-闰04-01".
std::optional<Date> ParseLunarDigits(std::string_view utf8);

// A month as cal prints it: a title, the weekdays from Monday, then per week a line of days (a '*'
// after a day with a note, 休 or 班 for the official schedule) and a line of what the day is (its
// festival, term, lunar month on 初一, else its lunar day).
std::string MonthCalendar(int year, int month, const std::set<std::string>& notedKeys,
                          const almanac::HolidaySchedule& schedule);

} // namespace notes_tool

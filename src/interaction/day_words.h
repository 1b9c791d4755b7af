// What the lunar view and the tooltip say about a day, in words: the tooltip's lines, a day's name for
// a screen reader, the grid's title and weekday heads. GBK, from the almanac's facts only.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "almanac/almanac.h"

namespace quill {

// "星期一" ... "星期日"; the grid's heads are the last character.
std::string WeekdayName(std::chrono::weekday day);
std::string WeekdayHead(std::chrono::weekday day);

// "2026年12月9日 星期三".
std::string LongDate(almanac::Date date);

// The lunar date as a calendar prints it, "农历冬月初一"; on a lunar month's first day and on New
// Year's day followed by the year, "农历冬月初一 丙午年（马年）". Empty outside the almanac's years.
std::string LunarLine(const almanac::DayFacts& facts);

// The first line of a note, without its line break and surrounding blanks, cut to `maxChars`
// characters (a character is one to four GB18030 bytes, never split) with "…" where it was cut.
std::string NoteFirstLine(std::string_view note, std::size_t maxChars);

// The tooltip, one entry a line: date and weekday, lunar date, term, festivals, 休 or 班, and the
// note's first line when there is one.
std::vector<std::string> DayTipLines(const almanac::DayFacts& facts, std::string_view note);
std::string DayTipText(const almanac::DayFacts& facts, std::string_view note);

// A day's accessible name: the tooltip's facts in one line, and "有日记" for a day with a note. The
// note's own words stay out: the name is read at every arrow key.
std::string DayAccessibleName(const almanac::DayFacts& facts, bool hasNote);

// "2026年12月 丙午年"; a month in which the lunar year turns names both, "2026年2月 乙巳年—丙午年".
std::string GridTitle(std::chrono::year_month month);

} // namespace quill

// What the lunar view and the tooltip say about a day, in words.
#include "interaction/day_words.h"

#include <array>

namespace quill {
namespace {

constexpr std::array<std::string_view, 7> kWeekdays{"星期日", "星期一", "星期二", "星期三",
                                                    "星期四", "星期五", "星期六"};

// Bytes of the GB18030 character starting at `at`: ASCII one, a lead byte and a digit four, else two.
// A lead byte at the end of the text counts alone, so a damaged note still ends.
std::size_t CharLength(std::string_view text, std::size_t at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x81 || byte == 0xFF || at + 1 >= text.size())
        return 1;
    const auto second = static_cast<unsigned char>(text[at + 1]);
    if (second >= 0x30 && second <= 0x39)
        return at + 3 < text.size() ? 4 : text.size() - at;
    return 2;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string YearWords(int lunarYear) {
    std::string words = almanac::GanzhiOfYear(lunarYear);
    return words.append("年（").append(almanac::ZodiacOfYear(lunarYear)).append("年）");
}

} // namespace

std::string WeekdayName(std::chrono::weekday day) {
    return std::string(kWeekdays[day.c_encoding()]);
}

std::string WeekdayHead(std::chrono::weekday day) {
    // Each name ends in its two-byte character.
    const std::string_view name = kWeekdays[day.c_encoding()];
    return std::string(name.substr(name.size() - 2));
}

std::string LongDate(almanac::Date date) {
    return std::to_string(static_cast<int>(date.year())) + "年" +
           std::to_string(static_cast<unsigned>(date.month())) + "月" +
           std::to_string(static_cast<unsigned>(date.day())) + "日 " +
           WeekdayName(std::chrono::weekday{std::chrono::sys_days{date}});
}

std::string LunarLine(const almanac::DayFacts& facts) {
    if (!facts.lunar)
        return {};
    const almanac::LunarDate& lunar = *facts.lunar;
    std::string line = "农历";
    line.append(almanac::LunarMonthName(lunar.month, lunar.leap)).append(almanac::LunarDayName(lunar.day));
    const bool newYearsDay =
        facts.date.month() == std::chrono::January && facts.date.day() == std::chrono::day{1};
    if (lunar.day == 1 || newYearsDay)
        line.append(" ").append(YearWords(lunar.year));
    return line;
}

std::string NoteFirstLine(std::string_view note, std::size_t maxChars) {
    const std::size_t end = note.find_first_of("\r\n");
    std::string_view line = note.substr(0, end);
    while (!line.empty() && IsBlank(line.front()))
        line.remove_prefix(1);
    while (!line.empty() && IsBlank(line.back()))
        line.remove_suffix(1);
    std::size_t at = 0;
    for (std::size_t count = 0; at < line.size(); ++count) {
        if (count == maxChars)
            return std::string(line.substr(0, at)) + "…";
        at += CharLength(line, at);
    }
    return std::string(line);
}

std::vector<std::string> DayTipLines(const almanac::DayFacts& facts, std::string_view note) {
    std::vector<std::string> lines{LongDate(facts.date)};
    if (std::string lunar = LunarLine(facts); !lunar.empty())
        lines.push_back(std::move(lunar));
    const std::string term = facts.term >= 0 ? almanac::SolarTermName(facts.term) : std::string();
    if (!term.empty())
        lines.push_back(term);
    // 清明 and 冬至 are festivals named after their terms: said once.
    std::string joined;
    for (const std::string& festival : facts.festivals) {
        if (festival != term)
            joined.append(joined.empty() ? "" : "、").append(festival);
    }
    if (!joined.empty())
        lines.push_back(std::move(joined));
    if (facts.off == almanac::DayOff::Rest)
        lines.emplace_back("休（放假）");
    else if (facts.off == almanac::DayOff::Work)
        lines.emplace_back("班（调休上班）");
    if (std::string first = NoteFirstLine(note, 40); !first.empty())
        lines.push_back("日记：" + first);
    return lines;
}

std::string DayTipText(const almanac::DayFacts& facts, std::string_view note) {
    std::string text;
    for (const std::string& line : DayTipLines(facts, note))
        text.append(text.empty() ? "" : "\r\n").append(line);
    return text;
}

std::string DayAccessibleName(const almanac::DayFacts& facts, bool hasNote) {
    std::string name;
    for (const std::string& line : DayTipLines(facts, {}))
        name.append(name.empty() ? "" : "，").append(line);
    if (hasNote)
        name += "，有日记";
    return name;
}

std::string GridTitle(std::chrono::year_month month) {
    std::string title = std::to_string(static_cast<int>(month.year())) + "年" +
                        std::to_string(static_cast<unsigned>(month.month())) + "月";
    const auto first = almanac::LunarOf(month / std::chrono::day{1});
    const auto last = almanac::LunarOf(month / std::chrono::last);
    if (first && last && first->year != last->year)
        return title + " " + almanac::GanzhiOfYear(first->year) + "年—" + almanac::GanzhiOfYear(last->year) +
               "年";
    if (first || last)
        return title + " " + almanac::GanzhiOfYear(first ? first->year : last->year) + "年";
    return title;
}

} // namespace quill

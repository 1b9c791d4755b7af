// Lunar headings, lunar dates typed on the command line, and cal's month view.
#include "notes_tool/lunar_days.h"

#include "notes_tool/text_codec.h"

namespace notes_tool {

namespace {

// The columns a UTF-8 text takes in a terminal: two for a CJK character, one for ASCII.
std::size_t Columns(std::string_view utf8) {
    std::size_t columns = 0;
    for (const char c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            ++columns;
        } else if (b >= 0xC0) {
            columns += 2;
        }
    }
    return columns;
}

std::string Padded(const std::string& utf8, std::size_t width) {
    const std::size_t used = Columns(utf8);
    return utf8 + std::string(used < width ? width - used : 0, ' ');
}

int Number(std::string_view digits) {
    return digits.empty() || digits.size() > 4 ? -1 : DigitsValue(digits);
}

std::optional<Date> Solar(int year, int month, bool leap, int day) {
    const std::optional<almanac::Date> civil = almanac::SolarOf(year, month, leap, day);
    if (!civil) {
        return std::nullopt;
    }
    return FromCivil(*civil);
}

} // namespace

std::string LunarHeading(const Date& date, const almanac::HolidaySchedule* schedule) {
    almanac::DayFacts facts = almanac::FactsOf(ToCivil(date));
    facts.off = schedule != nullptr ? schedule->MarkOn(ToCivil(date)) : almanac::DayOff::None;
    std::string out;
    if (facts.lunar) {
        out = "农历" + almanac::LunarMonthName(facts.lunar->month, facts.lunar->leap) +
              almanac::LunarDayName(facts.lunar->day);
    }
    for (const std::string& festival : facts.festivals) {
        out += out.empty() ? "" : " ";
        out += festival;
    }
    if (facts.term >= 0 && facts.term != 6 && facts.term != 23) {
        out += out.empty() ? "" : " ";
        out += almanac::SolarTermName(facts.term);
    }
    if (facts.off != almanac::DayOff::None) {
        out += std::string(out.empty() ? "" : " ") + (facts.off == almanac::DayOff::Rest ? "休" : "班");
    }
    return Utf8FromNotes(out);
}

std::optional<Date> ParseLunarWords(std::string_view utf8, const Date& today) {
    const std::optional<std::string> bytes = NotesFromUtf8(utf8);
    if (!bytes) {
        return std::nullopt;
    }
    std::string text = *bytes;
    const std::string prefix = "农历";
    if (text.rfind(prefix, 0) != 0) {
        return std::nullopt;
    }
    text.erase(0, prefix.size());
    int year = 0;
    if (const std::size_t mark = text.find("年"); mark != std::string::npos && mark == 4) {
        year = Number(std::string_view(text).substr(0, 4));
        if (year < 0) {
            return std::nullopt;
        }
        text.erase(0, mark + std::string("年").size());
    }
    for (const bool leap : {false, true}) {
        for (int month = 1; month <= 12; ++month) {
            const std::string name = almanac::LunarMonthName(month, leap);
            std::vector<std::string> names{name};
            // People also write 十一月 and 十二月 for 冬月 and 腊月, and 一月 for 正月.
            if (month == 1 || month >= 11) {
                const char* plain = month == 1 ? "一月" : month == 11 ? "十一月" : "十二月";
                names.push_back(std::string(leap ? "闰" : "") + plain);
            }
            for (const std::string& n : names) {
                if (text.rfind(n, 0) != 0) {
                    continue;
                }
                const std::string rest = text.substr(n.size());
                for (int day = 1; day <= 30; ++day) {
                    if (rest != almanac::LunarDayName(day)) {
                        continue;
                    }
                    if (year != 0) {
                        return Solar(year, month, leap, day);
                    }
                    // The lunar year of today: the one whose months are running now.
                    const std::optional<almanac::LunarDate> now = almanac::LunarOf(ToCivil(today));
                    return now ? Solar(now->year, month, leap, day) : std::nullopt;
                }
            }
        }
    }
    return std::nullopt;
}

std::optional<Date> ParseLunarDigits(std::string_view utf8) {
    const std::optional<std::string> bytes = NotesFromUtf8(utf8);
    if (!bytes) {
        return std::nullopt;
    }
    const std::string text = *bytes;
    const std::size_t first = text.find('-'), last = text.rfind('-');
    if (first != 4 || last == first) {
        return std::nullopt;
    }
    std::string month = text.substr(first + 1, last - first - 1);
    bool leap = false;
    if (month.rfind("L", 0) == 0) {
        leap = true;
        month.erase(0, 1);
    } else if (month.rfind("闰", 0) == 0) {
        leap = true;
        month.erase(0, std::string("闰").size());
    }
    const int y = Number(std::string_view(text).substr(0, 4)), m = Number(month),
              d = Number(std::string_view(text).substr(last + 1));
    if (y < 0 || m < 0 || d < 0 || month.size() != 2 || text.size() - last - 1 != 2) {
        return std::nullopt;
    }
    return Solar(y, m, leap, d);
}

std::string MonthCalendar(int year, int month, const std::set<std::string>& notedKeys,
                          const almanac::HolidaySchedule& schedule) {
    constexpr std::size_t kCell = 8;
    const Date first{year, month, 1};
    const std::int64_t firstDay = DayNumber(first);
    std::string out = std::to_string(year) + "-" + (month < 10 ? "0" : "") + std::to_string(month);
    if (const auto lunar = almanac::LunarOf(ToCivil(first))) {
        out += Utf8FromNotes("  " + almanac::GanzhiOfYear(lunar->year) + "年 " +
                             almanac::ZodiacOfYear(lunar->year));
    }
    out += "\n";
    static const char* const kWeekdays[] = {"一", "二", "三", "四", "五", "六", "日"};
    std::string header;
    for (const char* name : kWeekdays) {
        header += Padded(Utf8FromNotes(std::string(" ") + name), kCell);
    }
    out += header.substr(0, header.find_last_not_of(' ') + 1) + "\n";
    // 1970-01-01 was a Thursday: Monday is column 0.
    const int lead = static_cast<int>(((firstDay % 7) + 7 + 3) % 7);
    const int length = almanac::DayOf(std::chrono::year_month_day_last{
        std::chrono::year{year},
        std::chrono::month_day_last{std::chrono::month{static_cast<unsigned>(month)}}});
    int column = 0;
    std::string days, captions;
    auto flush = [&] {
        out += days.substr(0, days.find_last_not_of(' ') + 1) + "\n";
        out += captions.substr(0, captions.find_last_not_of(' ') + 1) + "\n";
        days.clear();
        captions.clear();
        column = 0;
    };
    for (; column < lead; ++column) {
        days += std::string(kCell, ' ');
        captions += std::string(kCell, ' ');
    }
    for (int day = 1; day <= length; ++day) {
        const Date date{year, month, day};
        const almanac::DayFacts facts = almanac::FactsOf(ToCivil(date), schedule);
        std::string cell = day < 10 ? " " : "";
        cell += std::to_string(day);
        cell += notedKeys.count(KeyOfDate(date)) != 0 ? "*" : " ";
        if (facts.off != almanac::DayOff::None) {
            cell += Utf8FromNotes(facts.off == almanac::DayOff::Rest ? "休" : "班");
        }
        days += Padded(cell, kCell);
        captions += Padded(Utf8FromNotes(almanac::CellCaption(facts)), kCell);
        if (++column == 7) {
            flush();
        }
    }
    if (column != 0) {
        flush();
    }
    return out;
}

} // namespace notes_tool

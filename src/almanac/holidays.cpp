// The State Council's holidays: the generated years, and newer years from the schedule file.
#include <algorithm>
#include <cstring>

#include "almanac/almanac.h"
#include "almanac/almanac_table.h"

namespace almanac {

namespace {

const char* const kHolidayNames[] = {"",       "元旦",   "春节",   "清明节",        "劳动节",
                                     "端午节", "中秋节", "国庆节", "抗战胜利纪念日"};
// The file names a holiday by an ASCII word, so it reads the same in any editor's encoding.
const char* const kHolidayWords[] = {"",       "newyear",   "spring",   "qingming", "labour",
                                     "dragon", "midautumn", "national", "victory"};
constexpr int kHolidayCount = 9;

constexpr std::size_t kMaxFileBytes = 64 * 1024;
constexpr std::string_view kFileHeader = "quillidar-holidays 1";

std::optional<Date> ParseIso(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return std::nullopt;
    }
    int parts[3] = {0, 0, 0};
    const int starts[3] = {0, 5, 8}, lengths[3] = {4, 2, 2};
    for (int p = 0; p < 3; ++p) {
        for (int i = 0; i < lengths[p]; ++i) {
            const char c = text[starts[p] + i];
            if (c < '0' || c > '9') {
                return std::nullopt;
            }
            parts[p] = parts[p] * 10 + (c - '0');
        }
    }
    return MakeDate(parts[0], parts[1], parts[2]);
}

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
            ++i;
        }
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
            ++i;
        }
        if (i > start) {
            words.push_back(line.substr(start, i - start));
        }
    }
    return words;
}

bool IsWeekend(Date date) {
    const std::chrono::weekday day{std::chrono::sys_days{date}};
    return day == std::chrono::Saturday || day == std::chrono::Sunday;
}

// The words of one line of the file, once its line end, the first line's byte-order mark and its
// comment are gone.
std::vector<std::string_view> LineWords(std::string_view line, bool first) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    if (first && line.size() >= 3 && std::memcmp(line.data(), "\xEF\xBB\xBF", 3) == 0) {
        line.remove_prefix(3);
    }
    if (const std::size_t hash = line.find('#'); hash != std::string_view::npos) {
        line = line.substr(0, hash);
    }
    return Words(line);
}

// The year a "year" line adds to those `known` covers and the file's lines before gave, or nothing
// and the reason in `problem`.
std::optional<int> ReadYearLine(const std::vector<std::string_view>& words, const HolidaySchedule& known,
                                const std::vector<int>& years, std::string& problem) {
    std::optional<Date> first = words.size() == 2 ? ParseIso(std::string(words[1]) + "-01-01") : std::nullopt;
    if (!first) {
        problem = "\"year\" takes one four-digit year";
        return std::nullopt;
    }
    const int year = YearOf(*first);
    if (known.Covers(year) || std::count(years.begin(), years.end(), year) != 0) {
        problem = "year " + std::to_string(year) + " is already known";
        return std::nullopt;
    }
    return year;
}

struct DayLine {
    std::int32_t day = 0;
    bool work = false;
    int holiday = 0;
};

// A day line, in a year a "year" line gave and on a day not `given` before; or nothing and the
// reason in `problem`.
template <typename Given>
std::optional<DayLine> ReadDayLine(const std::vector<std::string_view>& words, const std::vector<int>& years,
                                   const Given& given, std::string& problem) {
    const std::optional<Date> date = ParseIso(words[0]);
    if (!date || words.size() != 3 || (words[1] != "rest" && words[1] != "work")) {
        problem = "expected \"YYYY-MM-DD rest|work HOLIDAY\"";
        return std::nullopt;
    }
    int holiday = 0;
    for (int i = 1; i < kHolidayCount; ++i) {
        if (words[2] == kHolidayWords[i]) {
            holiday = i;
        }
    }
    if (holiday == 0) {
        problem = "unknown holiday \"" + std::string(words[2]) + "\"";
        return std::nullopt;
    }
    if (std::count(years.begin(), years.end(), YearOf(*date)) == 0) {
        problem = "the day's year has no \"year\" line before it";
        return std::nullopt;
    }
    const bool work = words[1] == "work";
    if (work && !IsWeekend(*date)) {
        problem = "a make-up working day falls on a Saturday or Sunday";
        return std::nullopt;
    }
    const auto day = static_cast<std::int32_t>(DayNumber(*date));
    if (given(day)) {
        problem = "the day is given twice";
        return std::nullopt;
    }
    return DayLine{day, work, holiday};
}

} // namespace

std::string HolidayName(int index) {
    return index > 0 && index < kHolidayCount ? kHolidayNames[index] : "";
}

std::string HolidayFileName() {
    return "holidays.txt";
}

const HolidaySchedule& HolidaySchedule::BuiltIn() {
    static const HolidaySchedule schedule = [] {
        HolidaySchedule built;
        built.m_entries.reserve(table::kHolidayCount);
        for (int i = 0; i < table::kHolidayCount; ++i) {
            const table::HolidayRow& row = table::kHolidays[i];
            built.m_entries.push_back({row.day, row.mark == 'W' ? DayOff::Work : DayOff::Rest, row.holiday});
        }
        for (int year = table::kFirstHolidayYear; year <= table::kLastHolidayYear; ++year) {
            built.m_years.push_back(year);
        }
        return built;
    }();
    return schedule;
}

HolidaySchedule HolidaySchedule::WithFile(std::string_view bytes, std::vector<std::string>* problems) {
    HolidaySchedule result = BuiltIn();
    std::vector<std::string> found;
    std::vector<int> years;
    std::vector<Entry> entries;
    const auto complain = [&](int line, const std::string& what) {
        found.push_back(HolidayFileName() + ":" + std::to_string(line) + ": " + what);
    };
    const auto given = [&](std::int32_t day) {
        return std::any_of(entries.begin(), entries.end(), [&](const Entry& e) { return e.day == day; });
    };
    if (bytes.size() > kMaxFileBytes) {
        complain(0, "larger than 64 KB; not read");
    } else {
        int number = 0;
        bool header = false;
        std::size_t pos = 0;
        while (pos < bytes.size()) {
            std::size_t end = bytes.find('\n', pos);
            if (end == std::string_view::npos) {
                end = bytes.size();
            }
            const std::vector<std::string_view> words = LineWords(bytes.substr(pos, end - pos), number == 0);
            pos = end + 1;
            ++number;
            if (words.empty()) {
                continue;
            }
            if (!header) {
                if (words.size() != 2 || std::string(words[0]) + " " + std::string(words[1]) != kFileHeader) {
                    complain(number, "the first line must be \"" + std::string(kFileHeader) + "\"");
                    break;
                }
                header = true;
                continue;
            }
            std::string problem;
            if (words[0] == "year") {
                if (const std::optional<int> year = ReadYearLine(words, result, years, problem)) {
                    years.push_back(*year);
                } else {
                    complain(number, problem);
                }
            } else if (const std::optional<DayLine> day = ReadDayLine(words, years, given, problem)) {
                entries.push_back({day->day, day->work ? DayOff::Work : DayOff::Rest, day->holiday});
            } else {
                complain(number, problem);
            }
        }
        if (!header && found.empty()) {
            complain(number, "the file is empty");
        }
    }
    if (problems != nullptr) {
        problems->insert(problems->end(), found.begin(), found.end());
    }
    if (!found.empty()) {
        return result;
    }
    result.m_entries.insert(result.m_entries.end(), entries.begin(), entries.end());
    std::sort(result.m_entries.begin(), result.m_entries.end(),
              [](const Entry& a, const Entry& b) { return a.day < b.day; });
    result.m_years.insert(result.m_years.end(), years.begin(), years.end());
    std::sort(result.m_years.begin(), result.m_years.end());
    return result;
}

DayOff HolidaySchedule::MarkOn(Date date) const {
    if (!date.ok() || !Covers(YearOf(date))) {
        return DayOff::None;
    }
    const std::int64_t day = DayNumber(date);
    const auto it = std::lower_bound(m_entries.begin(), m_entries.end(), day,
                                     [](const Entry& e, std::int64_t d) { return e.day < d; });
    return it != m_entries.end() && it->day == day ? it->off : DayOff::None;
}

std::string HolidaySchedule::HolidayOn(Date date) const {
    if (!date.ok() || !Covers(YearOf(date))) {
        return {};
    }
    const std::int64_t day = DayNumber(date);
    const auto it = std::lower_bound(m_entries.begin(), m_entries.end(), day,
                                     [](const Entry& e, std::int64_t d) { return e.day < d; });
    return it != m_entries.end() && it->day == day ? HolidayName(it->holiday) : std::string{};
}

bool HolidaySchedule::Covers(int year) const {
    return std::binary_search(m_years.begin(), m_years.end(), year);
}

int HolidaySchedule::FirstYear() const {
    return m_years.empty() ? 0 : m_years.front();
}

int HolidaySchedule::LastYear() const {
    return m_years.empty() ? 0 : m_years.back();
}

} // namespace almanac

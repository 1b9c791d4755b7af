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
            std::string_view line = bytes.substr(pos, end - pos);
            pos = end + 1;
            ++number;
            if (!line.empty() && line.back() == '\r') {
                line.remove_suffix(1);
            }
            if (number == 1 && line.size() >= 3 && std::memcmp(line.data(), "\xEF\xBB\xBF", 3) == 0) {
                line.remove_prefix(3);
            }
            if (const std::size_t hash = line.find('#'); hash != std::string_view::npos) {
                line = line.substr(0, hash);
            }
            const std::vector<std::string_view> words = Words(line);
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
            if (words[0] == "year") {
                std::optional<Date> first =
                    words.size() == 2 ? ParseIso(std::string(words[1]) + "-01-01") : std::nullopt;
                if (!first) {
                    complain(number, "\"year\" takes one four-digit year");
                    continue;
                }
                const int year = YearOf(*first);
                if (result.Covers(year) || std::count(years.begin(), years.end(), year) != 0) {
                    complain(number, "year " + std::to_string(year) + " is already known");
                    continue;
                }
                years.push_back(year);
                continue;
            }
            const std::optional<Date> date = ParseIso(words[0]);
            if (!date || words.size() != 3 || (words[1] != "rest" && words[1] != "work")) {
                complain(number, "expected \"YYYY-MM-DD rest|work HOLIDAY\"");
                continue;
            }
            int holiday = 0;
            for (int i = 1; i < kHolidayCount; ++i) {
                if (words[2] == kHolidayWords[i]) {
                    holiday = i;
                }
            }
            if (holiday == 0) {
                complain(number, "unknown holiday \"" + std::string(words[2]) + "\"");
                continue;
            }
            if (std::count(years.begin(), years.end(), YearOf(*date)) == 0) {
                complain(number, "the day's year has no \"year\" line before it");
                continue;
            }
            const bool work = words[1] == "work";
            if (work && !IsWeekend(*date)) {
                complain(number, "a make-up working day falls on a Saturday or Sunday");
                continue;
            }
            const auto day = static_cast<std::int32_t>(DayNumber(*date));
            if (std::any_of(entries.begin(), entries.end(), [&](const Entry& e) { return e.day == day; })) {
                complain(number, "the day is given twice");
                continue;
            }
            entries.push_back({day, work ? DayOff::Work : DayOff::Rest, holiday});
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

// The one civil-day arithmetic of the program: <chrono>'s proleptic Gregorian calendar.
#include "almanac/almanac.h"

namespace almanac {

namespace {

constexpr std::int64_t kMinDays = -12687428; // -32767-01-01
constexpr std::int64_t kMaxDays = 11248737;  // 32767-12-31

} // namespace

std::int64_t DayNumber(Date date) {
    return std::chrono::sys_days{date}.time_since_epoch().count();
}

Date DateOfDayNumber(std::int64_t days) {
    if (days < kMinDays) {
        days = kMinDays;
    } else if (days > kMaxDays) {
        days = kMaxDays;
    }
    return Date{std::chrono::sys_days{std::chrono::days{static_cast<int>(days)}}};
}

std::optional<Date> MakeDate(int year, int month, int day) {
    if (year < -32767 || year > 32767 || month < 1 || month > 12 || day < 1 || day > 31) {
        return std::nullopt;
    }
    const Date date{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                    std::chrono::day{static_cast<unsigned>(day)}};
    if (!date.ok()) {
        return std::nullopt;
    }
    return date;
}

} // namespace almanac

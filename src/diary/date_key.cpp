// Date keys from instants and calendar dates, with the same range on every C runtime.
#include "diary/date_key.h"

#include <ctime>

#include "almanac/almanac.h"

namespace {

constexpr int kLastKeyYear = 3000;

std::string FormatKey(int day, int month, int year) {
    const int yy = ((year % 100) + 100) % 100;
    const int parts[3] = {day, month, yy};
    std::string key;
    for (const int part : parts) {
        key.push_back(static_cast<char>('0' + part / 10 % 10));
        key.push_back(static_cast<char>('0' + part % 10));
    }
    return key;
}

bool ToLocal(std::int64_t instant, std::tm& local) {
#ifdef _WIN32
    const __time64_t value = instant;
    return _localtime64_s(&local, &value) == 0;
#else
    const std::time_t value = static_cast<std::time_t>(instant);
    return localtime_r(&value, &local) != nullptr;
#endif
}

std::int64_t FromLocal(std::tm& local) {
#ifdef _WIN32
    return _mktime64(&local);
#else
    return std::mktime(&local);
#endif
}

} // namespace

std::string DateKeyOfInstant(std::int64_t instant) {
    if (instant < 0 || instant > kLastKeyInstant) {
        return {};
    }
    std::tm local{};
    if (!ToLocal(instant, local) || local.tm_year + 1900 > kLastKeyYear) {
        return {};
    }
    return FormatKey(local.tm_mday, local.tm_mon + 1, local.tm_year + 1900);
}

std::string DateKeyOfDate(int year, int month, int day) {
    // Roll months and days over first, so the range checks below see the real date.
    // Whole 400-year cycles (146097 days each) are counted apart, so a year far outside what
    // <chrono> holds still rolls over exactly.
    const std::int64_t monthIndex = std::int64_t{year} * 12 + (std::int64_t{month} - 1);
    const std::int64_t firstYear = monthIndex / 12 - (monthIndex % 12 < 0);
    const std::int64_t cycles = (firstYear - 2000 >= 0 ? firstYear - 2000 : firstYear - 2399) / 400;
    const std::int64_t firstOfMonth =
        almanac::DayNumber(*almanac::MakeDate(static_cast<int>(firstYear - cycles * 400),
                                              static_cast<int>((monthIndex % 12 + 12) % 12 + 1), 1)) +
        cycles * 146097;
    const almanac::Date date = almanac::DateOfDayNumber(firstOfMonth + (std::int64_t{day} - 1));
    const std::int64_t y = almanac::YearOf(date), m = almanac::MonthOf(date), d = almanac::DayOf(date);

    if (y < 1900) {
        return DateKeyOfInstant(0);
    }
    if (y > kLastKeyYear) {
        return {};
    }
    std::tm midnight{};
    midnight.tm_year = static_cast<int>(y - 1900);
    midnight.tm_mon = static_cast<int>(m - 1);
    midnight.tm_mday = static_cast<int>(d);
    midnight.tm_isdst = -1;
    // A failed conversion returns -1, which the lower bound already rejects.
    const std::int64_t instant = FromLocal(midnight);
    if (instant < 0 || instant > kLastKeyInstant) {
        return {};
    }
    return FormatKey(static_cast<int>(d), static_cast<int>(m), static_cast<int>(y));
}

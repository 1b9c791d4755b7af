// Date keys from instants and calendar dates, with the same range on every C runtime.
#include "diary/date_key.h"

#include <ctime>

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

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithms).
std::int64_t DaysFromCivil(std::int64_t y, std::int64_t m, std::int64_t d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, std::int64_t& m, std::int64_t& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = yoe + era * 400 + (m <= 2);
}

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
    const std::int64_t monthIndex = std::int64_t{year} * 12 + (std::int64_t{month} - 1);
    const std::int64_t firstOfMonth =
        DaysFromCivil(monthIndex / 12 - (monthIndex % 12 < 0), (monthIndex % 12 + 12) % 12 + 1, 1);
    std::int64_t y = 0, m = 0, d = 0;
    CivilFromDays(firstOfMonth + (std::int64_t{day} - 1), y, m, d);

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

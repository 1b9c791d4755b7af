// Dates of the diary's keys, in a window of a hundred years.
#include "notes_tool/diary_dates.h"

#include "almanac/almanac.h"

namespace notes_tool {

namespace {

bool IsDay(const Date& d) {
    return d.year >= 1 && d.year <= 9999 && almanac::MakeDate(d.year, d.month, d.day).has_value();
}

void AppendDigits(std::string& out, int value, int width) {
    std::string digits(static_cast<std::size_t>(width), '0');
    for (int i = width - 1; i >= 0; --i, value /= 10) {
        digits[static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
    }
    out += digits;
}

} // namespace

int DigitsValue(std::string_view digits) {
    int value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return -1;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<Date> DateOfKey(std::string_view key, int pivot) {
    if (key.size() != 6) {
        return std::nullopt;
    }
    const int day = DigitsValue(key.substr(0, 2));
    const int month = DigitsValue(key.substr(2, 2));
    const int yy = DigitsValue(key.substr(4, 2));
    if (day < 0 || month < 0 || yy < 0) {
        return std::nullopt;
    }
    // The one year of the window whose last two digits are yy.
    const int year = pivot - ((pivot % 100 - yy + 100) % 100);
    const Date date{year, month, day};
    if (!IsDay(date)) {
        return std::nullopt;
    }
    return date;
}

std::string IsoDate(const Date& date) {
    std::string out;
    AppendDigits(out, date.year, 4);
    out += '-';
    AppendDigits(out, date.month, 2);
    out += '-';
    AppendDigits(out, date.day, 2);
    return out;
}

std::optional<Date> ParseIsoDate(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return std::nullopt;
    }
    const Date date{DigitsValue(text.substr(0, 4)), DigitsValue(text.substr(5, 2)),
                    DigitsValue(text.substr(8, 2))};
    if (!IsDay(date)) {
        return std::nullopt;
    }
    return date;
}

std::string KeyOfDate(const Date& date) {
    std::string key;
    AppendDigits(key, date.day, 2);
    AppendDigits(key, date.month, 2);
    AppendDigits(key, date.year % 100, 2);
    return key;
}

std::optional<std::string> KeyOfDayArgument(std::string_view text) {
    if (text.size() == 6 && DigitsValue(text) >= 0) {
        return std::string(text);
    }
    if (const auto date = ParseIsoDate(text)) {
        return KeyOfDate(*date);
    }
    return std::nullopt;
}

std::int64_t DayNumber(const Date& date) {
    return almanac::DayNumber(ToCivil(date));
}

Date DateOfDayNumber(std::int64_t days) {
    return FromCivil(almanac::DateOfDayNumber(days));
}

almanac::Date ToCivil(const Date& date) {
    return almanac::Date{std::chrono::year{date.year}, std::chrono::month{static_cast<unsigned>(date.month)},
                         std::chrono::day{static_cast<unsigned>(date.day)}};
}

Date FromCivil(almanac::Date date) {
    return {almanac::YearOf(date), almanac::MonthOf(date), almanac::DayOf(date)};
}

std::optional<Date> ParseDay(std::string_view text, const Date& today, int pivot) {
    std::int64_t offset = 0;
    if (text == "today") {
        offset = 0;
    } else if (text == "yesterday") {
        offset = -1;
    } else if (text == "tomorrow") {
        offset = 1;
    } else if (text.size() >= 2 && text.size() <= 6 && (text[0] == '-' || text[0] == '+') &&
               DigitsValue(text.substr(1)) >= 0) {
        offset = DigitsValue(text.substr(1)) * (text[0] == '-' ? -1 : 1);
    } else if (text.size() == 5 && text[2] == '-') {
        const Date date{today.year, DigitsValue(text.substr(0, 2)), DigitsValue(text.substr(3, 2))};
        return IsDay(date) ? std::optional<Date>(date) : std::nullopt;
    } else if (text.size() == 6) {
        return DateOfKey(text, pivot);
    } else {
        return ParseIsoDate(text);
    }
    const Date date = DateOfDayNumber(DayNumber(today) + offset);
    return IsDay(date) ? std::optional<Date>(date) : std::nullopt;
}

} // namespace notes_tool

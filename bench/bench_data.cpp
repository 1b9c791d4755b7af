// Diaries of known size for the benchmarks.
#include "bench_data.h"

#include <unordered_set>

namespace bench {

long DaysFromCivil(const Date& date) {
    const long y = date.year - (date.month <= 2 ? 1 : 0);
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long mp = (date.month + 9) % 12;
    const long doy = (153 * mp + 2) / 5 + date.day - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

Date CivilFromDays(long days) {
    days += 719468;
    const long era = (days >= 0 ? days : days - 146096) / 146097;
    const long doe = days - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    Date date;
    date.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    date.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    date.year = static_cast<int>(yoe + era * 400 + (date.month <= 2 ? 1 : 0));
    return date;
}

namespace {

void TwoDigits(std::string& out, int value) {
    out.push_back(static_cast<char>('0' + value / 10 % 10));
    out.push_back(static_cast<char>('0' + value % 10));
}

} // namespace

std::string KeyOf(const Date& date) {
    std::string key;
    TwoDigits(key, date.day);
    TwoDigits(key, date.month);
    TwoDigits(key, date.year % 100);
    return key;
}

std::string NoteTextFor(std::string_view key) {
    // A day's worth of writing: a line of Chinese, a line break, and plain text to about 100 bytes.
    std::string text = "今天天气很好，我们去公园散步。";
    text += "\r\n";
    text += "Notes for ";
    text += key;
    text += ": walked, read, wrote letters.";
    while (text.size() < 100) {
        text.push_back('.');
    }
    return text;
}

NoteMap MakeDiary(std::size_t count, const Date& last) {
    NoteMap notes;
    const std::size_t dated = count < 36524 ? count : 36524;
    const long lastDay = DaysFromCivil(last);
    std::unordered_set<std::string> used;
    std::vector<std::string> keys;
    keys.reserve(count);
    for (std::size_t i = 0; i < dated; ++i) {
        keys.push_back(KeyOf(CivilFromDays(lastDay - static_cast<long>(dated - 1 - i))));
    }
    if (count > dated) {
        used.insert(keys.begin(), keys.end());
        std::vector<std::string> extra;
        for (int n = 0; n < 1000000 && dated + extra.size() < count; ++n) {
            std::string key(6, '0');
            for (int i = 5, v = n; i >= 0; --i, v /= 10) {
                key[static_cast<std::size_t>(i)] = static_cast<char>('0' + v % 10);
            }
            if (!used.count(key)) {
                extra.push_back(std::move(key));
            }
        }
        // Older than the dated notes, so the last note in the list is still today's.
        keys.insert(keys.begin(), extra.begin(), extra.end());
    }
    for (std::string& key : keys) {
        std::string text = NoteTextFor(key);
        notes.Append({std::move(key), std::move(text)});
    }
    return notes;
}

} // namespace bench

// Diaries of known size for the benchmarks.
#include "bench_data.h"

#include <cstdint>
#include <iterator>
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

namespace {

// What a longer day holds, a line at a time: a sentence of each kind per line.
constexpr std::string_view kChineseLines[] = {
    "早上六点起床，跑步三公里，然后吃早饭。",
    "下午在图书馆看书，读完了第三章。",
    "晚上给朋友写信，谈到最近的工作和家里的事情。",
    "天气转冷，记得明天多穿衣服。",
    "和同事开会讨论新的计划，大家意见不一。",
    "买了菜，做了红烧肉和青菜豆腐汤。",
    "今天下雨，没有出门，在家整理旧照片。",
    "读报纸，看到一篇关于城市交通的文章。",
    "去医院看望外婆，她的身体好多了。",
    "收拾书房，把不用的东西送给邻居。",
};
constexpr std::string_view kAsciiLines[] = {
    "Walked # minutes by the river.",     "Read # pages before bed.",        "Spent # yuan on books and tea.",
    "Called home, talked for # minutes.", "Wrote # lines of a long letter.", "Took bus # into town.",
    "Slept # hours; felt fine.",          "Meeting moved to room #.",
};

// FNV-1a: the same key always gives the same day.
std::uint32_t Hash(std::string_view bytes, std::uint32_t seed) {
    std::uint32_t h = 2166136261u ^ seed;
    for (char c : bytes) {
        h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    }
    return h;
}

} // namespace

std::string NoteTextFor(std::string_view key, std::size_t bytes) {
    std::string text;
    // Whole pieces only: a piece is GBK text, and cutting one could split a double-byte character.
    auto put = [&](std::string_view piece) {
        if (text.size() + piece.size() > bytes) {
            return false;
        }
        text += piece;
        return true;
    };
    // A day's worth of writing: a line of Chinese, a line break, and plain text naming the day.
    put("今天天气很好，我们去公园散步。");
    put("\r\n");
    put("Notes for ");
    put(key);
    put(": walked, read, wrote letters.");
    if (bytes > kShortNoteBytes) {
        for (std::uint32_t line = 0;; ++line) {
            const std::uint32_t h = Hash(key, line);
            const std::string_view pattern = kAsciiLines[(h >> 8) % std::size(kAsciiLines)];
            const std::size_t at = pattern.find('#');
            std::string ascii(pattern.substr(0, at));
            ascii += std::to_string(2 + (h >> 16) % 58);
            ascii += pattern.substr(at + 1);
            if (!put("\r\n") || !put(kChineseLines[h % std::size(kChineseLines)]) || !put(" ") ||
                !put(ascii)) {
                break;
            }
        }
    }
    while (text.size() < bytes) {
        text.push_back('.');
    }
    return text;
}

NoteMap MakeDiary(std::size_t count, const Date& last, std::size_t bytes) {
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
        std::string text = NoteTextFor(key, bytes);
        notes.Append({std::move(key), std::move(text)});
    }
    return notes;
}

} // namespace bench

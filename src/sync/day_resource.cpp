// Days as VJOURNAL resources, written and read.
#include "sync/day_resource.h"

#include "almanac/almanac.h"
#include "text/gb18030.h"
#include "text/text_codec.h"
#include "sync/ical_text.h"
#include "sync/sync_state.h"

namespace {

bool IsDay(const SyncDate& d) {
    return d.year >= 1 && d.year <= 9999 && almanac::MakeDate(d.year, d.month, d.day).has_value();
}

int Digits(std::string_view text) {
    if (text.empty()) {
        return -1;
    }
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return -1;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

void AppendDigits(std::string& out, int value, int width) {
    std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) < width) {
        out.append(static_cast<std::size_t>(width) - digits.size(), '0');
    }
    out += digits;
}

// One code point of UTF-8 at text[i], advancing i; U+FFFD (and one byte) for anything malformed.
char32_t NextCodePoint(std::string_view text, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int length = 0;
    char32_t c = 0, least = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2, c = b0 & 0x1F, least = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3, c = b0 & 0x0F, least = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4, c = b0 & 0x07, least = 0x10000;
    } else {
        ++i;
        return 0xFFFD;
    }
    if (i + static_cast<std::size_t>(length) > text.size()) {
        ++i;
        return 0xFFFD;
    }
    for (int k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        c = (c << 6) | (b & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        return 0xFFFD;
    }
    i += static_cast<std::size_t>(length);
    return c;
}

std::string_view FirstLine(std::string_view text) {
    return text.substr(0, text.find_first_of("\r\n"));
}

std::string UtcStamp(std::int64_t seconds) {
    const std::int64_t days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
    const std::int64_t rest = seconds - days * 86400;
    const almanac::Date date = almanac::DateOfDayNumber(days);
    const int y = almanac::YearOf(date);
    std::string out;
    AppendDigits(out, y < 0 ? 0 : y > 9999 ? 9999 : y, 4);
    AppendDigits(out, almanac::MonthOf(date), 2);
    AppendDigits(out, almanac::DayOf(date), 2);
    out += 'T';
    AppendDigits(out, static_cast<int>(rest / 3600), 2);
    AppendDigits(out, static_cast<int>(rest / 60 % 60), 2);
    AppendDigits(out, static_cast<int>(rest % 60), 2);
    return out + "Z";
}

// The day DTSTART names; nullopt when it names none.
std::optional<SyncDate> DayOfStart(const IcsProperty& p,
                                   const std::function<SyncDate(std::int64_t)>& localDateOf) {
    const std::string_view v = p.value;
    if (v.size() < 8) {
        return std::nullopt;
    }
    const std::optional<SyncDate> date = ParseCompactDate(v.substr(0, 8));
    if (!date || v.size() == 8) {
        return date;
    }
    if ((v.size() != 15 && v.size() != 16) || v[8] != 'T') {
        return std::nullopt;
    }
    const int h = Digits(v.substr(9, 2)), m = Digits(v.substr(11, 2)), s = Digits(v.substr(13, 2));
    if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 60) {
        return std::nullopt;
    }
    if (v.size() == 15) {
        return date; // floating, or local to its TZID: the day written is the entry's day
    }
    if (v[15] != 'Z') {
        return std::nullopt;
    }
    const std::int64_t days = almanac::DayNumber(*almanac::MakeDate(date->year, date->month, date->day));
    const std::int64_t utc = days * 86400 + h * 3600 + m * 60 + s;
    return localDateOf ? localDateOf(utc) : *date;
}

} // namespace

std::optional<SyncDate> SyncDateOfKey(std::string_view key, int pivot) {
    if (key.size() != 6) {
        return std::nullopt;
    }
    const int day = Digits(key.substr(0, 2)), month = Digits(key.substr(2, 2)), yy = Digits(key.substr(4, 2));
    if (day < 0 || month < 0 || yy < 0) {
        return std::nullopt;
    }
    const SyncDate date{pivot - ((pivot % 100 - yy + 100) % 100), month, day};
    return IsDay(date) ? std::optional<SyncDate>(date) : std::nullopt;
}

std::string KeyOfSyncDate(const SyncDate& date) {
    std::string key;
    AppendDigits(key, date.day, 2);
    AppendDigits(key, date.month, 2);
    AppendDigits(key, date.year % 100, 2);
    return key;
}

std::string CompactDate(const SyncDate& date) {
    std::string out;
    AppendDigits(out, date.year, 4);
    AppendDigits(out, date.month, 2);
    AppendDigits(out, date.day, 2);
    return out;
}

std::optional<SyncDate> ParseCompactDate(std::string_view text) {
    if (text.size() != 8) {
        return std::nullopt;
    }
    const SyncDate date{Digits(text.substr(0, 4)), Digits(text.substr(4, 2)), Digits(text.substr(6, 2))};
    return IsDay(date) ? std::optional<SyncDate>(date) : std::nullopt;
}

std::string UidOfDay(const SyncDate& date) {
    return "quillidar-day-" + CompactDate(date);
}

std::string HrefNameOfDay(const SyncDate& date) {
    return UidOfDay(date) + ".ics";
}

std::string Utf8OfNoteBytes(std::string_view bytes) {
    return text_codec::Utf8FromNotes(bytes);
}

std::string NoteBytesOfUtf8(std::string_view utf8) {
    std::u16string text;
    text.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t c = NextCodePoint(utf8, i);
        if (c == 0) {
            c = 0xFFFD; // the notes file ends a text at a zero
        }
        if (c >= 0x10000) {
            text.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            text.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            text.push_back(static_cast<char16_t>(c));
        }
    }
    return Gb18030FromUtf16(text);
}

std::string NewDayMark(std::string_view noteBytes) {
    const std::uint64_t sum = SyncFileChecksum(noteBytes);
    std::string bytes;
    for (int shift = 56; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<char>((sum >> shift) & 0xFF));
    }
    return text_codec::HexOf(bytes);
}

std::string EncodeDayResource(const SyncDate& date, std::string_view noteBytes, std::int64_t stamp,
                              bool firstOfDay, std::string_view keptMark) {
    const std::string utf8 = Utf8OfNoteBytes(noteBytes);
    bool exact = Gb18030FromUtf16(Utf16FromGb18030(noteBytes)) == noteBytes;
    bool ignored = true;
    std::string out;
    out += FoldIcsLine("BEGIN:VCALENDAR");
    out += FoldIcsLine("VERSION:2.0");
    out += FoldIcsLine("PRODID:-//Quillidar//diary sync//EN");
    out += FoldIcsLine("BEGIN:VJOURNAL");
    out += FoldIcsLine("UID:" + UidOfDay(date));
    out += FoldIcsLine("DTSTAMP:" + UtcStamp(stamp));
    out += FoldIcsLine("DTSTART;VALUE=DATE:" + CompactDate(date));
    if (!keptMark.empty()) {
        out += FoldIcsLine("X-QUILLIDAR-NEW-DAY:" + std::string(keptMark));
    } else if (firstOfDay) {
        out += FoldIcsLine("X-QUILLIDAR-NEW-DAY:" + NewDayMark(noteBytes));
    }
    out += FoldIcsLine("SUMMARY:" + EscapeIcsText(FirstLine(utf8), &ignored));
    out += FoldIcsLine("DESCRIPTION:" + EscapeIcsText(utf8, &exact));
    if (!exact) {
        out += FoldIcsLine("X-QUILLIDAR-GBK-HEX:" + text_codec::HexOf(noteBytes));
    }

    out += FoldIcsLine("END:VJOURNAL");
    out += FoldIcsLine("END:VCALENDAR");
    return out;
}

ResourceRead ReadCalendarResource(std::string_view bytes,
                                  const std::function<SyncDate(std::int64_t)>& localDateOf) {
    ResourceRead result;
    auto fail = [&](std::string why) {
        result.entries.clear();
        result.error = std::move(why);
        return result;
    };
    if (bytes.size() > kMaxResourceBytes) {
        return fail("the entry is larger than " + std::to_string(kMaxResourceBytes) + " bytes");
    }
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        bytes.remove_prefix(3);
    }
    bool truncated = false;
    const std::vector<IcsProperty> lines =
        ReadIcsProperties(bytes, kMaxResourceLines, kMaxIcsLineBytes, &truncated);
    if (truncated) {
        return fail("the entry has too many or too long lines");
    }
    if (lines.empty() || lines[0].name != "BEGIN" || UpperAscii(lines[0].value) != "VCALENDAR") {
        return fail("no BEGIN:VCALENDAR");
    }
    struct Item {
        std::optional<IcsProperty> start;
        std::vector<std::string> descriptions;
        std::optional<std::string> uid, hex, summary;
        std::string newDay;
    };
    std::vector<std::string> open;
    std::optional<Item> item;
    for (const IcsProperty& p : lines) {
        if (p.name == "BEGIN") {
            if (open.size() >= 16) {
                return fail("components nested too deep");
            }
            open.push_back(UpperAscii(p.value));
            if (open.size() == 2 && open[1] == "VJOURNAL") {
                item = Item{};
            }
            continue;
        }
        if (p.name == "END") {
            if (open.empty() || open.back() != UpperAscii(p.value)) {
                return fail("line " + std::to_string(p.line) + ": END:" + p.value + " closes nothing open");
            }
            open.pop_back();
            if (open.size() != 1 || !item) {
                continue;
            }
            Item it = std::move(*item);
            item.reset();
            if (!it.start) {
                continue; // a journal of no day: no diary note
            }
            const std::optional<SyncDate> date = DayOfStart(*it.start, localDateOf);
            if (!date) {
                continue;
            }
            ResourceEntry entry;
            entry.date = *date;
            entry.uid = it.uid.value_or("");
            entry.ours = entry.uid == UidOfDay(*date);
            entry.newDay = it.newDay;
            std::string utf8;
            for (const std::string& d : it.descriptions) {
                utf8 += (utf8.empty() ? "" : "\r\n") + UnescapeIcsText(d);
            }
            if (it.descriptions.empty() && it.summary) {
                utf8 = UnescapeIcsText(*it.summary); // a phone's one-line journal: its title is its text
            }
            entry.text = NoteBytesOfUtf8(utf8);
            if (it.hex) {
                // The hex holds the bytes exactly; it stands only while the text says the same.
                const std::optional<std::string> raw = text_codec::BytesOfHex(*it.hex);
                bool ignored = true;
                if (raw && raw->find('\0') == std::string::npos &&
                    UnescapeIcsText(EscapeIcsText(Utf8OfNoteBytes(*raw), &ignored)) == utf8) {
                    entry.text = *raw;
                }
            }
            result.entries.push_back(std::move(entry));
            continue;
        }
        if (!item || open.size() != 2) {
            continue;
        }
        if (p.name == "DTSTART") {
            item->start = p;
        } else if (p.name == "DESCRIPTION") {
            item->descriptions.push_back(p.value);
        } else if (p.name == "SUMMARY") {
            item->summary = p.value;
        } else if (p.name == "UID") {
            item->uid = UnescapeIcsText(p.value);
        } else if (p.name == "X-QUILLIDAR-GBK-HEX") {
            item->hex = p.value;
        } else if (p.name == "X-QUILLIDAR-NEW-DAY") {
            item->newDay = p.value;
        }
    }
    if (!open.empty()) {
        return fail("BEGIN:" + open.back() + " is never closed");
    }
    return result;
}

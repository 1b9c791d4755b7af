// Days as VJOURNAL resources, written and read.
#include "sync/day_resource.h"

#include "almanac/almanac.h"
#include "ical/journal.h"
#include "text/gb18030.h"
#include "text/text_codec.h"
#include "sync/sync_state.h"

namespace {

bool IsDay(const SyncDate& d) {
    return d.year >= 1 && d.year <= 9999 && almanac::MakeDate(d.year, d.month, d.day).has_value();
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

SyncDate SyncDateOf(almanac::Date date) {
    return {almanac::YearOf(date), almanac::MonthOf(date), almanac::DayOf(date)};
}

almanac::Date CivilOf(const SyncDate& date) {
    return *almanac::MakeDate(date.year, date.month, date.day);
}

// The day DTSTART names: the date written, or for a UTC time the local date the caller gives.
std::optional<SyncDate> DayOfStart(const ical::Property& p,
                                   const std::function<SyncDate(std::int64_t)>& localDateOf) {
    const std::optional<ical::Start> start = ical::ReadStart(p);
    if (!start) {
        return std::nullopt;
    }
    if (start->form == ical::StartForm::kUtc && localDateOf) {
        return localDateOf(start->Instant());
    }
    return SyncDateOf(start->day);
}

// A journal of a day as the sync sees it; nullopt for one of no day.
std::optional<ResourceEntry> EntryOf(const ical::Component& c,
                                     const std::function<SyncDate(std::int64_t)>& localDateOf) {
    if (c.kind != "VJOURNAL" || !c.start) {
        return std::nullopt; // a journal of no day: no diary note
    }
    const std::optional<SyncDate> date = DayOfStart(*c.start, localDateOf);
    if (!date) {
        return std::nullopt;
    }
    ResourceEntry entry;
    entry.date = *date;
    entry.uid = c.uid.value_or("");
    entry.ours = entry.uid == UidOfDay(*date);
    if (const std::string* mark = c.Mark(ical::kNewDayMark)) {
        entry.newDay = *mark;
    }
    // The hex holds the bytes exactly; it stands only while the text says the same.
    ical::Carried carried = ical::CarriedBytes(c);
    if (carried.state == ical::CarriedState::kTaken && carried.bytes.find('\0') == std::string::npos) {
        entry.text = std::move(carried.bytes);
    } else {
        entry.text = NoteBytesOfUtf8(c.Text());
    }
    return entry;
}

} // namespace

std::optional<SyncDate> SyncDateOfKey(std::string_view key, int pivot) {
    if (key.size() != 6 || key.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    auto two = [&](std::size_t at) { return (key[at] - '0') * 10 + (key[at + 1] - '0'); };
    const SyncDate date{pivot - ((pivot % 100 - two(4) + 100) % 100), two(2), two(0)};
    return IsDay(date) ? std::optional<SyncDate>(date) : std::nullopt;
}

std::string KeyOfSyncDate(const SyncDate& date) {
    const std::string compact = CompactDate({date.year % 100, date.month, date.day}); // "00YYMMDD"
    return compact.substr(6, 2) + compact.substr(4, 2) + compact.substr(2, 2);
}

std::string CompactDate(const SyncDate& date) {
    std::string out;
    AppendDigits(out, date.year, 4);
    AppendDigits(out, date.month, 2);
    AppendDigits(out, date.day, 2);
    return out;
}

std::optional<SyncDate> ParseCompactDate(std::string_view text) {
    const std::optional<almanac::Date> date = ical::ParseDateValue(text);
    return date ? std::optional<SyncDate>(SyncDateOf(*date)) : std::nullopt;
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
    const std::string when = ical::UtcStamp(stamp);
    ical::JournalEntry journal;
    journal.uid = UidOfDay(date);
    journal.stamp = when;
    journal.day = CivilOf(date);
    if (!keptMark.empty()) {
        journal.marks.emplace_back(ical::kNewDayMark, std::string(keptMark));
    } else if (firstOfDay) {
        journal.marks.emplace_back(ical::kNewDayMark, NewDayMark(noteBytes));
    }
    journal.text = Utf8OfNoteBytes(noteBytes);
    journal.noteBytes = noteBytes;
    journal.exact = Gb18030FromUtf16(Utf16FromGb18030(noteBytes)) == noteBytes;
    return ical::CalendarHead("-//Quillidar//diary sync//EN") + ical::JournalLines(journal) +
           ical::CalendarTail();
}

ResourceRead ReadCalendarResource(std::string_view bytes,
                                  const std::function<SyncDate(std::int64_t)>& localDateOf) {
    ResourceRead result;
    if (bytes.size() > kMaxResourceBytes) {
        result.error = "the entry is larger than " + std::to_string(kMaxResourceBytes) + " bytes";
        return result;
    }
    const ical::Calendar calendar =
        ical::ReadCalendar(bytes, {kMaxResourceLines, kMaxIcsLineBytes, kMaxResourceDepth});
    if (!calendar.error.empty()) {
        result.error = calendar.error;
        return result;
    }
    for (const ical::Component& c : calendar.components) {
        if (std::optional<ResourceEntry> entry = EntryOf(c, localDateOf)) {
            result.entries.push_back(std::move(*entry));
        }
    }
    return result;
}

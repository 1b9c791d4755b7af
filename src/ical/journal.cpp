// Journal calendars: DTSTART's forms, components read with their marks, VJOURNALs written.
#include "ical/journal.h"

#include <algorithm>

#include "text/text_codec.h"

namespace ical {

namespace {

// The number a run of ASCII digits spells; -1 for an empty run or any other character in it.
int Number(std::string_view text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
        return -1;
    }
    int value = 0;
    for (const char c : text) {
        value = value * 10 + (c - '0');
    }
    return value;
}

// value in `width` digits, zeros in front; it never needs more here.
void PutDigits(std::string& out, std::int64_t value, std::size_t width) {
    const std::size_t end = out.size() + width;
    out.append(width, '0');
    for (std::size_t i = end; value > 0 && i > end - width; value /= 10) {
        out[--i] = static_cast<char>('0' + value % 10);
    }
}

std::optional<Start> NoStart(std::string* why, const std::string& value, const char* what) {
    if (why) {
        *why = "DTSTART " + value + " is " + what;
    }
    return std::nullopt;
}

} // namespace

std::string DateValue(almanac::Date date) {
    std::string out;
    PutDigits(out, almanac::YearOf(date), 4);
    PutDigits(out, almanac::MonthOf(date), 2);
    PutDigits(out, almanac::DayOf(date), 2);
    return out;
}

std::optional<almanac::Date> ParseDateValue(std::string_view text) {
    if (text.size() != 8) {
        return std::nullopt;
    }
    const int year = Number(text.substr(0, 4)), month = Number(text.substr(4, 2)),
              day = Number(text.substr(6, 2));
    if (year < 1 || month < 0 || day < 0) {
        return std::nullopt;
    }
    return almanac::MakeDate(year, month, day);
}

std::string UtcStamp(std::int64_t seconds) {
    const std::int64_t days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
    const std::int64_t rest = seconds - days * 86400;
    const almanac::Date date = almanac::DateOfDayNumber(days);
    std::string out;
    PutDigits(out, std::clamp(almanac::YearOf(date), 0, 9999), 4);
    PutDigits(out, almanac::MonthOf(date), 2);
    PutDigits(out, almanac::DayOf(date), 2);
    out += 'T';
    PutDigits(out, static_cast<int>(rest / 3600), 2);
    PutDigits(out, static_cast<int>(rest / 60 % 60), 2);
    PutDigits(out, static_cast<int>(rest % 60), 2);
    return out + "Z";
}

std::string_view FirstLine(std::string_view text) {
    return text.substr(0, text.find_first_of("\r\n"));
}

std::int64_t Start::Instant() const {
    return almanac::DayNumber(day) * 86400 + seconds;
}

std::optional<Start> ReadStart(const Property& start, std::string* why) {
    const std::string& v = start.value;
    const bool dateOnly = v.size() == 8;
    if (!dateOnly && !((v.size() == 15 || v.size() == 16) && v[8] == 'T')) {
        return NoStart(why, v, "no date or date-time");
    }
    Start s;
    if (const std::optional<almanac::Date> day = ParseDateValue(std::string_view(v).substr(0, 8))) {
        s.day = *day;
    } else {
        return NoStart(why, v, "no day");
    }
    if (dateOnly) {
        return s;
    }
    const std::string_view t = std::string_view(v).substr(9);
    const int h = Number(t.substr(0, 2)), m = Number(t.substr(2, 2)), sec = Number(t.substr(4, 2));
    if (h < 0 || h > 23 || m < 0 || m > 59 || sec < 0 || sec > 60 || (v.size() == 16 && v[15] != 'Z')) {
        return NoStart(why, v, "no time");
    }
    s.seconds = h * 3600 + m * 60 + sec;
    s.form = v.size() == 16               ? StartForm::kUtc
             : start.params.count("TZID") ? StartForm::kZoned
                                          : StartForm::kFloating;
    return s;
}

// ---- reading

std::string Component::Text() const {
    std::string utf8;
    for (const std::string& d : descriptions) {
        utf8 += (utf8.empty() ? "" : "\r\n") + UnescapeText(d);
    }
    if (descriptions.empty() && summary) {
        utf8 = UnescapeText(*summary); // a phone's one-line journal: its title is its text
    }
    return utf8;
}

const std::string* Component::Mark(std::string_view name) const {
    const auto it = marks.find(std::string(name));
    return it == marks.end() ? nullptr : &it->second;
}

namespace {

void Take(Component& c, const Property& p) {
    if (p.name == "DTSTART") {
        c.start = p;
    } else if (p.name == "DESCRIPTION") {
        c.descriptions.push_back(p.value);
    } else if (p.name == "SUMMARY") {
        c.summary = p.value;
    } else if (p.name == "UID") {
        c.uid = UnescapeText(p.value);
    } else if (p.name.rfind("X-", 0) == 0) {
        c.marks[p.name] = p.value;
    }
}

Calendar Failed(std::string why) {
    Calendar c;
    c.error = std::move(why);
    return c;
}

std::string At(const Property& p) {
    return "line " + std::to_string(p.line) + ": ";
}

} // namespace

Calendar ReadCalendar(std::string_view text, const Limits& limits) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    bool truncated = false;
    const std::vector<Property> lines =
        ReadProperties(text, limits.maxLines, limits.maxLineBytes, &truncated);
    if (truncated) {
        return Failed("more than " + std::to_string(limits.maxLines) + " lines, or one longer than " +
                      std::to_string(limits.maxLineBytes) + " bytes");
    }
    if (lines.empty() || lines[0].name != "BEGIN" || UpperAscii(lines[0].value) != "VCALENDAR") {
        return Failed("line 1: no BEGIN:VCALENDAR, so no iCalendar file");
    }
    Calendar calendar;
    std::vector<std::string> open;
    std::optional<Component> item;
    for (const Property& p : lines) {
        if (p.name == "BEGIN") {
            if (open.size() >= limits.maxDepth) {
                return Failed(At(p) + "components nested deeper than " + std::to_string(limits.maxDepth));
            }
            open.push_back(UpperAscii(p.value));
            if (open.size() == 2 && (open[1] == "VJOURNAL" || open[1] == "VEVENT")) {
                item = Component{};
                item->line = p.line;
                item->kind = open[1];
            }
        } else if (p.name == "END") {
            if (open.empty() || open.back() != UpperAscii(p.value)) {
                return Failed(At(p) + "END:" + p.value + " closes no BEGIN:" + p.value);
            }
            open.pop_back();
            if (open.size() == 1 && item) {
                calendar.components.push_back(std::move(*item));
                item.reset();
            }
        } else if (item && open.size() == 2) {
            Take(*item, p); // not VALARM's, VTIMEZONE's or the calendar's own
        }
    }
    if (!open.empty()) {
        return Failed("BEGIN:" + open.back() + " is never closed");
    }
    return calendar;
}

Carried CarriedBytes(const Component& component) {
    Carried carried;
    const std::string* hex = component.Mark(kBytesHex);
    if (!hex) {
        return carried;
    }
    std::optional<std::string> raw = text_codec::BytesOfHex(*hex);
    if (!raw) {
        carried.state = CarriedState::kMalformed;
        return carried;
    }
    // What this program would have written of those bytes, read back.
    bool ignored = true;
    const std::string shown = UnescapeText(EscapeText(text_codec::Utf8FromNotes(*raw), &ignored));
    const bool same = component.descriptions.empty()
                          ? UnescapeText(component.summary.value_or("")) == FirstLine(shown)
                          : component.Text() == shown;
    carried.state = same ? CarriedState::kTaken : CarriedState::kStale;
    if (same) {
        carried.bytes = std::move(*raw);
    }
    return carried;
}

// ---- writing

std::string CalendarHead(std::string_view productId) {
    return FoldLine("BEGIN:VCALENDAR") + FoldLine("VERSION:2.0") + Line("PRODID", productId);
}

std::string CalendarTail() {
    return FoldLine("END:VCALENDAR");
}

std::string Line(std::string_view name, std::string_view value) {
    std::string line;
    line.reserve(name.size() + 1 + value.size());
    line.append(name);
    line += ':';
    line.append(value);
    return FoldLine(line);
}

std::string TextLine(std::string_view name, std::string_view utf8, bool* exact) {
    return Line(name, EscapeText(utf8, exact));
}

std::string JournalLines(const JournalEntry& e) {
    bool ignored = true;
    bool exact = e.exact;
    std::string out = FoldLine("BEGIN:VJOURNAL");
    out += TextLine("UID", e.uid, &ignored);
    out += Line("DTSTAMP", e.stamp);
    if (e.day) {
        out += Line("DTSTART;VALUE=DATE", DateValue(*e.day));
    }
    for (const auto& [name, value] : e.marks) {
        out += Line(name, value);
    }
    out += TextLine("SUMMARY", FirstLine(e.text), &ignored);
    out += TextLine("DESCRIPTION", e.text, &exact);
    if (!exact) {
        out += Line(kBytesHex, text_codec::HexOf(e.noteBytes));
    }
    if (!e.keyHex.empty()) {
        out += Line(kKeyBytesHex, e.keyHex);
    }
    out += FoldLine("END:VJOURNAL");
    return out;
}

} // namespace ical

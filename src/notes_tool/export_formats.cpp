// Writers of the five export formats.
#include "notes_tool/export_formats.h"

#include <algorithm>
#include <unordered_map>

#include "diary/date_key.h"
#include "notes_tool/text_codec.h"

namespace notes_tool {

namespace {

constexpr char kEol[] = "\r\n";

// One note as every writer needs it: the UTF-8 to show, and the bytes that text cannot carry.
struct Shown {
    const DiaryEntry* entry = nullptr;
    std::optional<Date> date;
    std::string key;       // UTF-8
    std::string text;      // UTF-8
    std::string keyHex;    // the key's bytes when they are no faithful text, else empty
    std::string textHex;   // the same for the text
    std::string storedHex; // the entry as stored, when the widget would store it otherwise
    // The date, or the key where there is none.
    std::string Heading() const { return date ? IsoDate(*date) : key; }
};

std::vector<Shown> Select(const std::vector<DiaryEntry>& entries, const ExportOptions& options, bool byDate) {
    std::vector<Shown> shown;
    for (const DiaryEntry& entry : entries) {
        Shown s;
        s.entry = &entry;
        s.date = DateOfKey(entry.key, options.pivot);
        if (s.date && ((options.from && *s.date < *options.from) || (options.to && *s.date > *options.to))) {
            continue;
        }
        s.key = Utf8FromNotes(entry.key);
        s.text = Utf8FromNotes(entry.text);
        if (!IsFaithfulText(entry.key)) {
            s.keyHex = HexOf(entry.key);
        }
        if (!IsFaithfulText(entry.text)) {
            s.textHex = HexOf(entry.text);
        }
        s.storedHex = HexOf(entry.stored);
        shown.push_back(std::move(s));
    }
    if (byDate) {
        std::stable_sort(shown.begin(), shown.end(), [](const Shown& a, const Shown& b) {
            if (a.date && b.date) {
                return *a.date < *b.date;
            }
            return a.date.has_value() && !b.date.has_value();
        });
    }
    return shown;
}

// ---- json

std::string JsonString(std::string_view utf8) {
    static const char digits[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (b < 0x20) {
                out += "\\u00";
                out += digits[b >> 4];
                out += digits[b & 15];
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

std::string Json(const std::vector<Shown>& notes) {
    std::string out = "{";
    out += kEol;
    out += "  \"format\": " + JsonString(kJsonFormatName) + "," + kEol;
    out += "  \"version\": " + std::to_string(kJsonVersion) + "," + kEol;
    if (notes.empty()) {
        out += std::string("  \"notes\": []") + kEol + "}" + kEol;
        return out;
    }
    out += std::string("  \"notes\": [") + kEol;
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const Shown& n = notes[i];
        out += "    {\"date\": ";
        out += n.date ? JsonString(IsoDate(*n.date)) : "null";
        out += ", \"key\": " + JsonString(n.key) + ", \"text\": " + JsonString(n.text);
        if (!n.textHex.empty()) {
            out += ", \"gbk_hex\": " + JsonString(n.textHex);
        }
        if (!n.keyHex.empty()) {
            out += ", \"key_gbk_hex\": " + JsonString(n.keyHex);
        }
        if (!n.storedHex.empty()) {
            out += ", \"stored_hex\": " + JsonString(n.storedHex);
        }
        out += i + 1 < notes.size() ? "}," : "}";
        out += kEol;
    }
    out += std::string("  ]") + kEol + "}" + kEol;
    return out;
}

// ---- csv

std::string CsvField(std::string_view value, bool quoted) {
    if (!quoted && value.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(value);
    }
    std::string out = "\"";
    for (const char c : value) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    out += '"';
    return out;
}

std::string Csv(const std::vector<Shown>& notes) {
    // The columns for bytes no text can carry appear only in a file that needs them, so the usual
    // diary gives the plain three columns.
    const bool textHex =
        std::any_of(notes.begin(), notes.end(), [](const Shown& n) { return !n.textHex.empty(); });
    const bool keyHex =
        std::any_of(notes.begin(), notes.end(), [](const Shown& n) { return !n.keyHex.empty(); });
    const bool stored =
        std::any_of(notes.begin(), notes.end(), [](const Shown& n) { return !n.storedHex.empty(); });
    std::string out = "date,key,text";
    out += textHex ? ",gbk_hex" : "";
    out += keyHex ? ",key_gbk_hex" : "";
    out += stored ? ",stored_hex" : "";
    out += kEol;
    for (const Shown& n : notes) {
        out += n.date ? IsoDate(*n.date) : "";
        out += ',' + CsvField(n.key, false) + ',' + CsvField(n.text, true);
        if (textHex) {
            out += ',' + n.textHex;
        }
        if (keyHex) {
            out += ',' + n.keyHex;
        }
        if (stored) {
            out += ',' + n.storedHex;
        }
        out += kEol;
    }
    return out;
}

// ---- md and txt

std::string Markdown(const std::vector<Shown>& notes) {
    std::string out = std::string("# Quillidar diary") + kEol;
    for (const Shown& n : notes) {
        out += kEol;
        out += "## " + n.Heading() + kEol + kEol + n.text + kEol;
        if (!n.textHex.empty()) {
            out += "<!-- gbk_hex: " + n.textHex + " -->" + kEol;
        }
        if (!n.keyHex.empty()) {
            out += "<!-- key_gbk_hex: " + n.keyHex + " -->" + kEol;
        }
    }
    return out;
}

std::string PlainText(const std::vector<Shown>& notes) {
    std::string out;
    for (const Shown& n : notes) {
        out += n.Heading() + kEol + n.text + kEol;
        if (!n.textHex.empty()) {
            out += "gbk_hex: " + n.textHex + kEol;
        }
        if (!n.keyHex.empty()) {
            out += "key_gbk_hex: " + n.keyHex + kEol;
        }
        out += kEol;
    }
    return out;
}

// ---- ics

// RFC 5545 TEXT. Every line break becomes \n; a control character TEXT may not hold becomes
// U+FFFD. Either makes *exact false: the value no longer gives the note's bytes back.
std::string IcsText(std::string_view utf8, bool* exact) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        const auto b = static_cast<unsigned char>(c);
        if (c == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') {
            out += "\\n";
            ++i;
        } else if (c == '\r' || c == '\n') {
            out += "\\n";
            *exact = false;
        } else if (c == '\\' || c == ';' || c == ',') {
            out += '\\';
            out += c;
        } else if ((b < 0x20 && c != '\t') || b == 0x7F) {
            out += "\xEF\xBF\xBD";
            *exact = false;
        } else {
            out += c;
        }
    }
    return out;
}

// Folded at 75 octets, never inside a UTF-8 sequence; a continuation line starts with a space.
std::string IcsLine(std::string_view line) {
    std::string out;
    std::size_t room = 75;
    while (line.size() > room) {
        std::size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        out.append(line.substr(0, cut));
        out += kEol;
        out += ' ';
        line.remove_prefix(cut);
        room = 74;
    }
    out.append(line);
    out += kEol;
    return out;
}

std::string UtcStamp(std::int64_t seconds) {
    const std::int64_t days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
    const std::int64_t rest = seconds - days * 86400;
    std::int64_t y = 0, m = 0, d = 0;
    CivilFromDays(days, y, m, d);
    const Date date{static_cast<int>(std::clamp<std::int64_t>(y, 0, 9999)), static_cast<int>(m),
                    static_cast<int>(d)};
    std::string iso = IsoDate(date);
    iso.erase(std::remove(iso.begin(), iso.end(), '-'), iso.end());
    const int hms[3] = {static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
                        static_cast<int>(rest % 60)};
    iso += 'T';
    for (const int part : hms) {
        iso += static_cast<char>('0' + part / 10);
        iso += static_cast<char>('0' + part % 10);
    }
    return iso + "Z";
}

std::string Ics(const std::vector<Shown>& notes, std::int64_t stampSeconds) {
    const std::string stamp = UtcStamp(stampSeconds);
    std::string out;
    out += IcsLine("BEGIN:VCALENDAR");
    out += IcsLine("VERSION:2.0");
    out += IcsLine("PRODID:-//Quillidar//quillidar-notes//EN");
    // The UID stays the same from one export to the next, so a calendar that imports the file
    // again updates its entries instead of doubling them; a key's later copies are numbered.
    std::unordered_map<std::string, int> copies;
    for (const Shown& n : notes) {
        const int copy = ++copies[n.entry->key];
        bool exact = IsFaithfulText(n.entry->text);
        bool ignored = true;
        std::string uid = n.key;
        if (copy > 1) {
            uid += '-';
            uid += std::to_string(copy);
        }
        uid += "@quillidar";
        out += IcsLine("BEGIN:VJOURNAL");
        out += IcsLine("UID:" + IcsText(uid, &ignored));
        out += IcsLine("DTSTAMP:" + stamp);
        if (n.date) {
            std::string day = IsoDate(*n.date);
            day.erase(std::remove(day.begin(), day.end(), '-'), day.end());
            out += IcsLine("DTSTART;VALUE=DATE:" + day);
        }
        out += IcsLine("SUMMARY:" + IcsText(FirstLine(n.text), &ignored));
        out += IcsLine("DESCRIPTION:" + IcsText(n.text, &exact));
        if (!exact) {
            out += IcsLine("X-QUILLIDAR-GBK-HEX:" + HexOf(n.entry->text));
        }
        if (!n.keyHex.empty()) {
            out += IcsLine("X-QUILLIDAR-KEY-GBK-HEX:" + n.keyHex);
        }
        out += IcsLine("END:VJOURNAL");
    }
    out += IcsLine("END:VCALENDAR");
    return out;
}

} // namespace

std::optional<Format> FormatOfName(std::string_view name) {
    static const std::pair<std::string_view, Format> names[] = {{"json", Format::kJson},
                                                                {"csv", Format::kCsv},
                                                                {"md", Format::kMd},
                                                                {"txt", Format::kTxt},
                                                                {"ics", Format::kIcs}};
    for (const auto& [n, format] : names) {
        if (n == name) {
            return format;
        }
    }
    return std::nullopt;
}

std::string_view FirstLine(std::string_view text) {
    return text.substr(0, text.find_first_of("\r\n"));
}

std::string ExportNotes(Format format, const std::vector<DiaryEntry>& entries, const ExportOptions& options) {
    switch (format) {
    case Format::kJson:
        return Json(Select(entries, options, false));
    case Format::kCsv:
        return Csv(Select(entries, options, false));
    case Format::kMd:
        return Markdown(Select(entries, options, true));
    case Format::kTxt:
        return PlainText(Select(entries, options, true));
    case Format::kIcs:
        return Ics(Select(entries, options, true), options.stamp);
    }
    return {};
}

} // namespace notes_tool

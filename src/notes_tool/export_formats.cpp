// Writers of the export formats, note by note into a sink.
#include "notes_tool/export_formats.h"

#include <algorithm>
#include <unordered_map>

#include "almanac/almanac.h"
#include "diary/date_key.h"
#include "notes_tool/lunar_days.h"
#include "notes_tool/text_codec.h"
#include "ical/journal.h"

namespace notes_tool {

namespace {

constexpr char kEol[] = "\r\n";

// Collects the export and hands it to the sink in pieces, so that no export is ever held whole.
class Output {
  public:
    explicit Output(const Sink& sink) : m_sink(sink) { m_buffer.reserve(kPiece + 4096); }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    Output& operator+=(std::string_view text) {
        m_buffer.append(text);
        if (m_buffer.size() >= kPiece) {
            Flush();
        }
        return *this;
    }
    void Flush() {
        if (!m_buffer.empty()) {
            m_sink(m_buffer);
            m_buffer.clear();
        }
    }

  private:
    static constexpr std::size_t kPiece = 64 * 1024;
    const Sink& m_sink;
    std::string m_buffer;
};

// One note as every writer needs it: the UTF-8 to show, and the bytes that text cannot carry.
struct Shown {
    DiaryEntry entry;
    std::optional<Date> date;
    std::string key;       // UTF-8
    std::string text;      // UTF-8
    std::string keyHex;    // the key's bytes when they are no faithful text, else empty
    std::string textHex;   // the same for the text
    std::string storedHex; // the entry as stored, when the widget would store it otherwise
    // The date, or the key where there is none.
    std::string Heading() const { return date ? IsoDate(*date) : key; }
    // The heading of a day with its lunar date and festivals, as a reader of the export wants them.
    std::string LunarTitle() const {
        if (!date) {
            return key;
        }
        const std::string lunar = LunarHeading(*date, nullptr);
        return IsoDate(*date) + (lunar.empty() ? "" : " " + lunar);
    }
};

bool InRange(const std::optional<Date>& date, const ExportOptions& options) {
    return !date || !((options.from && *date < *options.from) || (options.to && *date > *options.to));
}

Shown ShownOf(DiaryEntry entry, const ExportOptions& options) {
    Shown s;
    s.date = DateOfKey(entry.key, options.pivot);
    s.key = Utf8FromNotes(entry.key);
    s.text = Utf8FromNotes(entry.text);
    if (!IsFaithfulText(entry.key)) {
        s.keyHex = HexOf(entry.key);
    }
    if (!IsFaithfulText(entry.text)) {
        s.textHex = HexOf(entry.text);
    }
    s.storedHex = HexOf(entry.stored);
    s.entry = std::move(entry);
    return s;
}

// Where a note goes in date order: a small record per note, so that ordering a million notes
// costs a fraction of the diary's size.
struct Placed {
    std::uint32_t index = 0;
    std::int32_t day = 0; // since 1970
    bool dated = false;   // the others come after every dated note, in file order
};

std::vector<Placed> DateOrder(const EntrySource& source, const ExportOptions& options) {
    std::vector<Placed> order;
    for (std::size_t i = 0; i < source.size; ++i) {
        const auto date = DateOfKey(source.at(i).key, options.pivot);
        if (InRange(date, options)) {
            order.push_back({static_cast<std::uint32_t>(i),
                             date ? static_cast<std::int32_t>(DayNumber(*date)) : 0, date.has_value()});
        }
    }
    std::stable_sort(order.begin(), order.end(), [](const Placed& a, const Placed& b) {
        if (a.dated != b.dated) {
            return a.dated;
        }
        return a.dated && a.day < b.day;
    });
    return order;
}

// Calls each(note) for every note in range, in file order or in date order.
template <typename Each>
std::size_t ForEachNote(const EntrySource& source, const ExportOptions& options, bool byDate, Each each) {
    std::size_t written = 0;
    if (byDate) {
        for (const Placed& p : DateOrder(source, options)) {
            each(ShownOf(source.at(p.index), options));
            ++written;
        }
        return written;
    }
    for (std::size_t i = 0; i < source.size; ++i) {
        const Shown s = ShownOf(source.at(i), options);
        if (InRange(s.date, options)) {
            each(s);
            ++written;
        }
    }
    return written;
}

// ---- json

std::size_t Json(const EntrySource& source, const ExportOptions& options, Output& out) {
    out += std::string("{") + kEol;
    out += "  \"format\": " + JsonString(kJsonFormatName) + "," + kEol;
    out += "  \"version\": " + std::to_string(kJsonVersion) + "," + kEol;
    out += "  \"notes\": [";
    std::string line;
    const std::size_t written = ForEachNote(source, options, false, [&](const Shown& n) {
        // Each note's comma is written with the next one, so the last needs no look ahead.
        line = line.empty() ? std::string(kEol) : std::string(",") + kEol;
        line += "    {\"date\": ";
        line += n.date ? JsonString(IsoDate(*n.date)) : "null";
        line += ", \"key\": " + JsonString(n.key) + ", \"text\": " + JsonString(n.text);
        if (!n.textHex.empty()) {
            line += ", \"gbk_hex\": " + JsonString(n.textHex);
        }
        if (!n.keyHex.empty()) {
            line += ", \"key_gbk_hex\": " + JsonString(n.keyHex);
        }
        if (!n.storedHex.empty()) {
            line += ", \"stored_hex\": " + JsonString(n.storedHex);
        }
        line += "}";
        out += line;
    });
    out +=
        written == 0 ? std::string("]") + kEol + "}" + kEol : std::string(kEol) + "  ]" + kEol + "}" + kEol;
    return written;
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

std::size_t Csv(const EntrySource& source, const ExportOptions& options, Output& out) {
    // The columns for bytes no text can carry appear only in a file that needs them, so the usual
    // diary gives the plain three columns.
    bool textHex = false, keyHex = false, stored = false;
    for (std::size_t i = 0; i < source.size; ++i) {
        const DiaryEntry entry = source.at(i);
        if (InRange(DateOfKey(entry.key, options.pivot), options)) {
            textHex = textHex || !IsFaithfulText(entry.text);
            keyHex = keyHex || !IsFaithfulText(entry.key);
            stored = stored || !entry.stored.empty();
        }
    }
    std::string head = "date,key,text";
    head += textHex ? ",gbk_hex" : "";
    head += keyHex ? ",key_gbk_hex" : "";
    head += stored ? ",stored_hex" : "";
    out += head + kEol;
    std::string line;
    return ForEachNote(source, options, false, [&](const Shown& n) {
        line = n.date ? IsoDate(*n.date) : "";
        line += ',' + CsvField(n.key, false) + ',' + CsvField(n.text, true);
        if (textHex) {
            line += ',' + n.textHex;
        }
        if (keyHex) {
            line += ',' + n.keyHex;
        }
        if (stored) {
            line += ',' + n.storedHex;
        }
        out += line + kEol;
    });
}

// ---- md and txt

std::size_t Markdown(const EntrySource& source, const ExportOptions& options, Output& out) {
    out += std::string("# Quillidar diary") + kEol;
    return ForEachNote(source, options, true, [&](const Shown& n) {
        out += std::string(kEol) + "## " + (n.date ? n.LunarTitle() : MarkdownText(n.key)) + kEol + kEol +
               MarkdownText(n.text) + kEol;
        if (!n.textHex.empty()) {
            out += "<!-- gbk_hex: " + n.textHex + " -->" + kEol;
        }
        if (!n.keyHex.empty()) {
            out += "<!-- key_gbk_hex: " + n.keyHex + " -->" + kEol;
        }
    });
}

std::size_t PlainText(const EntrySource& source, const ExportOptions& options, Output& out) {
    return ForEachNote(source, options, true, [&](const Shown& n) {
        out += n.Heading() + kEol + n.text + kEol;
        if (!n.textHex.empty()) {
            out += "gbk_hex: " + n.textHex + kEol;
        }
        if (!n.keyHex.empty()) {
            out += "key_gbk_hex: " + n.keyHex + kEol;
        }
        out += kEol;
    });
}

// ---- html

// What a character of a note becomes in HTML text; nullptr where it stands for itself.
const char* HtmlReplacement(char c) {
    switch (c) {
    case '&':
        return "&amp;";
    case '<':
        return "&lt;";
    case '>':
        return "&gt;";
    case '"':
        return "&quot;";
    case '\'':
        return "&#39;";
    case '\r':
        return ""; // the page's own line ends are CR LF; a note's CR LF shows as one break
    default:
        // A control character has no place in HTML text; it shows as the replacement mark.
        const bool control = (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t') || c == 0x7F;
        return control ? "\xEF\xBF\xBD" : nullptr;
    }
}

std::string HtmlText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (const char c : utf8) {
        if (const char* replacement = HtmlReplacement(c)) {
            out += replacement;
        } else {
            out += c;
        }
    }
    return out;
}

const char* const kMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};

std::size_t Html(const EntrySource& source, const ExportOptions& options, Output& out) {
    out += std::string("<!DOCTYPE html>") + kEol + "<html>" + kEol + "<head>" + kEol +
           "<meta charset=\"utf-8\">" + kEol + "<title>Quillidar diary</title>" + kEol +
           "<style>body{font-family:sans-serif;max-width:48em;margin:2em auto;padding:0 1em}"
           "section{break-before:page}section:first-of-type{break-before:auto}"
           "h3{margin-bottom:.2em}div.note{white-space:pre-wrap;margin-bottom:1em}</style>" +
           kEol + "</head>" + kEol + "<body>" + kEol + "<h1>Quillidar diary</h1>" + kEol;
    std::optional<std::pair<int, int>> month;
    bool open = false, undated = false;
    const std::size_t written = ForEachNote(source, options, true, [&](const Shown& n) {
        const bool newSection =
            n.date ? (!month || *month != std::pair(n.date->year, n.date->month)) : !undated;
        if (newSection) {
            if (open) {
                out += std::string("</section>") + kEol;
            }
            open = true;
            if (n.date) {
                month = std::pair(n.date->year, n.date->month);
                out += "<section>" + std::string(kEol) + "<h2>" + kMonthNames[n.date->month - 1] + " " +
                       std::to_string(n.date->year) + "</h2>" + kEol;
            } else {
                undated = true;
                out += "<section>" + std::string(kEol) + "<h2>Notes of no calendar day</h2>" + kEol;
            }
        }
        out += "<article><h3>" + HtmlText(n.LunarTitle()) + "</h3><div class=\"note\"";
        if (!n.textHex.empty()) {
            out += " data-gbk-hex=\"" + n.textHex + "\"";
        }
        if (!n.keyHex.empty()) {
            out += " data-key-gbk-hex=\"" + n.keyHex + "\"";
        }
        out += ">";
        out += HtmlText(n.text);
        out += "</div></article>";
        out += kEol;
    });
    if (open) {
        out += std::string("</section>") + kEol;
    }
    out += std::string("</body>") + kEol + "</html>" + kEol;
    return written;
}

// ---- ics

std::size_t Ics(const EntrySource& source, const ExportOptions& options, Output& out) {
    const std::string stamp = ical::UtcStamp(options.stamp);
    out += ical::CalendarHead("-//Quillidar//quillidar-notes//EN");
    // The UID stays the same from one export to the next, so a calendar that imports the file
    // again updates its entries instead of doubling them; a key's later copies are numbered. In
    // date order the copies of a dated key follow each other, so only keys without a date, which
    // only a damaged or foreign file has, need a count of their own.
    std::string previousKey;
    int copy = 0;
    std::unordered_map<std::string, int> undatedCopies;
    const std::size_t written = ForEachNote(source, options, true, [&](const Shown& n) {
        if (!n.date) {
            copy = ++undatedCopies[n.entry.key];
        } else {
            copy = n.entry.key == previousKey ? copy + 1 : 1;
            previousKey = n.entry.key;
        }
        ical::JournalEntry journal;
        journal.uid = n.key;
        if (copy > 1) {
            journal.uid += '-';
            journal.uid += std::to_string(copy);
        }
        journal.uid += "@quillidar";
        journal.stamp = stamp;
        if (n.date) {
            journal.day = ToCivil(*n.date);
        }
        journal.text = n.text;
        journal.noteBytes = n.entry.text;
        journal.exact = IsFaithfulText(n.entry.text);
        journal.keyHex = n.keyHex;
        out += ical::JournalLines(journal);
    });
    if (written == 0) {
        // A calendar needs at least one component; one of our own, which every client skips, is
        // the least that is still a valid file.
        out += ical::FoldLine("BEGIN:X-QUILLIDAR-EMPTY");
        out += ical::FoldLine("X-QUILLIDAR-NOTES:0");
        out += ical::FoldLine("END:X-QUILLIDAR-EMPTY");
    }
    out += ical::CalendarTail();
    return written;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameLetters(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

} // namespace

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
            if (b < 0x20 || b == 0x7F) {
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

std::string MarkdownText(std::string_view utf8) {
    // Every ASCII mark that CommonMark or pandoc may read as structure (headings, rules, lists,
    // quotes, emphasis, links, raw HTML, entities, smart quotes and dashes, tables, maths) is
    // escaped with a backslash, which both read as the mark itself. Leading blanks, which would
    // make a code block, become character references; each line break is kept as a hard break.
    static constexpr std::string_view kMarks = "\\`*_{}[]()<>#+-.!|~&^$=:\"'@%";
    std::string out;
    out.reserve(utf8.size() + utf8.size() / 8);
    bool lineStart = true;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') {
                ++i;
            }
            const bool last = i + 1 >= utf8.size();
            // A break before an empty line would show a stray backslash: the empty line ends the
            // paragraph itself.
            const bool nextEmpty = !last && (utf8[i + 1] == '\r' || utf8[i + 1] == '\n');
            out += lineStart || nextEmpty || last ? "\r\n" : "\\\r\n";
            lineStart = true;
            continue;
        }
        if (lineStart && (c == ' ' || c == '\t')) {
            out += c == ' ' ? "&#32;" : "&#9;";
            continue;
        }
        lineStart = false;
        if (kMarks.find(c) != std::string_view::npos) {
            out += '\\';
        }
        out += c;
    }
    return out;
}

std::optional<Format> FormatOfName(std::string_view name) {
    static const std::pair<std::string_view, Format> names[] = {
        {"json", Format::kJson}, {"csv", Format::kCsv}, {"md", Format::kMd},
        {"txt", Format::kTxt},   {"ics", Format::kIcs}, {"html", Format::kHtml}};
    for (const auto& [n, format] : names) {
        if (SameLetters(n, name)) {
            return format;
        }
    }
    return std::nullopt;
}

std::optional<Format> FormatOfFileName(std::string_view name) {
    const std::size_t dot = name.find_last_of('.');
    const std::size_t slash = name.find_last_of("/\\");
    if (dot == std::string_view::npos || (slash != std::string_view::npos && slash > dot)) {
        return std::nullopt;
    }
    const std::string_view extension = name.substr(dot + 1);
    if (SameLetters(extension, "markdown")) {
        return Format::kMd;
    }
    if (SameLetters(extension, "htm")) {
        return Format::kHtml;
    }
    if (SameLetters(extension, "ical") || SameLetters(extension, "ifb") ||
        SameLetters(extension, "icalendar")) {
        return Format::kIcs;
    }
    return FormatOfName(extension);
}

std::size_t WriteExport(Format format, const EntrySource& source, const ExportOptions& options,
                        const Sink& sink) {
    Output out(sink);
    std::size_t written = 0;
    switch (format) {
    case Format::kJson:
        written = Json(source, options, out);
        break;
    case Format::kCsv:
        written = Csv(source, options, out);
        break;
    case Format::kMd:
        written = Markdown(source, options, out);
        break;
    case Format::kTxt:
        written = PlainText(source, options, out);
        break;
    case Format::kIcs:
        written = Ics(source, options, out);
        break;
    case Format::kHtml:
        written = Html(source, options, out);
        break;
    }
    out.Flush();
    return written;
}

std::string ExportNotes(Format format, const std::vector<DiaryEntry>& entries, const ExportOptions& options) {
    std::string bytes;
    const EntrySource source{entries.size(), [&](std::size_t i) { return entries[i]; }};
    WriteExport(format, source, options, [&](std::string_view piece) { bytes += piece; });
    return bytes;
}

} // namespace notes_tool

// Readers of the json, csv and iCalendar files.
#include "notes_tool/import_formats.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include <nlohmann/json.hpp>

#include "notes_tool/diary_dates.h"
#include "notes_tool/text_codec.h"
#include "sync/ical_text.h"

namespace notes_tool {

namespace {

// One note's fields as either format gives them, UTF-8.
struct NoteFields {
    std::optional<std::string> date;
    std::optional<std::string> key;
    std::optional<std::string> text;
    std::optional<std::string> textHex;
    std::optional<std::string> keyHex;
    std::optional<std::string> storedHex;
    bool undated = false; // the note says it has no date: a null date, an empty date cell
};

std::string BytesOfField(const std::optional<std::string>& hex, const std::optional<std::string>& text,
                         const char* hexName, std::string& error) {
    if (hex) {
        if (auto bytes = BytesOfHex(*hex)) {
            return *bytes;
        }
        error = std::string(hexName) + " is not an even number of hexadecimal digits";
        return {};
    }
    // Both readers have checked the input is UTF-8.
    return NotesFromUtf8(*text).value_or(std::string());
}

// The entry the fields describe; an error in words when they describe none.
std::string Window(int pivot) {
    return std::to_string(pivot - 99) + " to " + std::to_string(pivot);
}

std::string OutsideWindow(const std::string& what, int pivot) {
    return what + " is outside the hundred years a key can name, " + Window(pivot) +
           " (--pivot YEAR names the last of them)";
}

std::string EntryOfFields(const NoteFields& f, const ImportOptions& options, DiaryEntry& out) {
    std::string error;
    std::optional<Date> date;
    if (f.date) {
        date = ParseIsoDate(*f.date);
        if (!date) {
            return "date \"" + *f.date + "\" is no day written YYYY-MM-DD";
        }
        // The key keeps two digits of the year: a date a century away would be filed, and shown,
        // as the day of the same name in the window.
        if (DateOfKey(KeyOfDate(*date), options.pivot) != date) {
            return OutsideWindow("date " + *f.date, options.pivot);
        }
    }
    if (f.key || f.keyHex) {
        out.key = BytesOfField(f.keyHex, f.key, "key_gbk_hex", error);
        if (!error.empty()) {
            return error;
        }
        // A hand-edited date that no longer matches the key would file the note under another
        // day than the one the editor meant: neither is taken over the other.
        if (date && KeyOfDate(*date) != out.key) {
            return "date " + *f.date + " does not match key " + Utf8FromNotes(out.key);
        }
    } else if (date) {
        out.key = KeyOfDate(*date);
    } else {
        return "no key and no date";
    }
    // A key that names no day holds a note the window never shows. Only a note that says it has
    // no date carries one, and only where the diary is copied as it was.
    if (!date && !DateOfKey(out.key, options.pivot)) {
        const std::string named = "key \"" + Utf8FromNotes(out.key) + "\"";
        if (!f.undated) {
            return named + " names no day (six digits: day, month, year, as 081226)";
        }
        if (!options.allowUndated) {
            return named + " names no day, and a note filed under it would never show";
        }
    }
    if (!f.text && !f.textHex) {
        return "no text";
    }
    out.text = BytesOfField(f.textHex, f.text, "gbk_hex", error);
    if (!error.empty()) {
        return error;
    }
    if (out.key.find('\0') != std::string::npos || out.text.find('\0') != std::string::npos) {
        return "a zero byte, which the notes file cannot hold";
    }
    if (f.storedHex) {
        const auto stored = BytesOfHex(*f.storedHex);
        if (!stored) {
            return "stored_hex is not an even number of hexadecimal digits";
        }
        const auto entry = ReadOneEntry(*stored);
        if (entry && entry->key == out.key && entry->text == out.text) {
            out.stored = *stored;
        }
    }
    return {};
}

// ---- json

std::string WithoutExceptionId(const std::string& what) {
    const auto close = what.find("] ");
    return close == std::string::npos ? what : what.substr(close + 2);
}

Imported Failed(std::string error) {
    Imported result;
    result.error = std::move(error);
    return result;
}

// The export read event by event, so that only the note being read is held. Every member of the
// top object and of a note may appear once: a second "notes" or "text" would otherwise silently win.
class JsonNotesReader : public nlohmann::json_sax<nlohmann::json> {
  public:
    JsonNotesReader(const ImportOptions& options, const std::function<void(DiaryEntry&&)>& each)
        : m_options(options), m_each(each) {}

    std::string error;

    // The checks of the top object that can only be made at its end.
    std::string Finish() const {
        if (!m_format || *m_format != kJsonFormatName) {
            return std::string("not an export of this tool: no \"format\": \"") + kJsonFormatName + "\"";
        }
        if (!m_version) {
            return "no \"version\" number";
        }
        if (*m_version != std::to_string(kJsonVersion)) {
            return "version " + *m_version + " is not one this program reads (" +
                   std::to_string(kJsonVersion) + ")";
        }
        if (!m_sawNotes) {
            return "no \"notes\" list";
        }
        return {};
    }

    bool null() override { return Scalar(Value::kNull, {}); }
    bool boolean(bool) override { return Scalar(Value::kOther, {}); }
    bool number_integer(number_integer_t value) override {
        return Scalar(Value::kInteger, std::to_string(value));
    }
    bool number_unsigned(number_unsigned_t value) override {
        return Scalar(Value::kInteger, std::to_string(value));
    }
    bool number_float(number_float_t, const string_t& text) override { return Scalar(Value::kOther, text); }
    bool string(string_t& value) override { return Scalar(Value::kString, value); }
    bool binary(binary_t&) override { return Scalar(Value::kOther, {}); }

    bool start_object(std::size_t) override {
        ++m_depth;
        if (m_depth == 1) {
            return true;
        }
        if (m_skipFrom > 0) {
            return true;
        }
        if (m_depth == 2) {
            return SkipOrFail(m_key == "notes" ? "no \"notes\" list" : "");
        }
        if (m_depth == 3 && m_inNotes) {
            ++m_number;
            m_fields = NoteFields{};
            m_noteKeys.clear();
            return true;
        }
        return Nested();
    }
    bool end_object() override {
        const bool noteEnds = m_depth == 3 && m_inNotes && m_skipFrom == 0;
        Leave();
        if (noteEnds) {
            DiaryEntry entry;
            const std::string why = EntryOfFields(m_fields, m_options, entry);
            if (!why.empty()) {
                return Fail(Where() + why);
            }
            m_each(std::move(entry));
        }
        return true;
    }
    bool start_array(std::size_t) override {
        ++m_depth;
        if (m_depth == 1) {
            return Fail("not an export of this tool: no \"format\": \"" + std::string(kJsonFormatName) +
                        "\"");
        }
        if (m_skipFrom > 0) {
            return true;
        }
        if (m_depth == 2 && m_key == "notes") {
            m_inNotes = true;
            m_sawNotes = true;
            return true;
        }
        if (m_depth == 2) {
            m_skipFrom = m_depth;
            return true;
        }
        if (m_depth == 3 && m_inNotes) {
            ++m_number;
            return Fail(Where() + "not an object");
        }
        return Nested();
    }
    bool end_array() override {
        if (m_depth == 2 && m_inNotes && m_skipFrom == 0) {
            m_inNotes = false;
        }
        Leave();
        return true;
    }
    bool key(string_t& name) override {
        m_key = name;
        if (m_skipFrom > 0) {
            return true;
        }
        if (m_depth == 1 && !m_topKeys.insert(name).second) {
            return Fail("the file names \"" + name + "\" twice");
        }
        if (m_depth == 3 && m_inNotes && !m_noteKeys.insert(name).second) {
            return Fail(Where() + "names \"" + name + "\" twice");
        }
        return true;
    }
    bool parse_error(std::size_t position, const std::string&,
                     const nlohmann::detail::exception& e) override {
        error = "at byte " + std::to_string(position == 0 ? 0 : position - 1) + ": " +
                WithoutExceptionId(e.what());
        return false;
    }

  private:
    enum class Value { kNull, kString, kInteger, kOther };

    std::string Where() const { return "note " + std::to_string(m_number) + ": "; }

    bool Fail(std::string why) {
        error = std::move(why);
        return false;
    }
    bool SkipOrFail(const std::string& why) {
        if (!why.empty()) {
            return Fail(why);
        }
        m_skipFrom = m_depth;
        return true;
    }
    static bool IsField(const std::string& name) {
        static const std::set<std::string> fields = {"date",    "key",         "text",
                                                     "gbk_hex", "key_gbk_hex", "stored_hex"};
        return fields.count(name) > 0;
    }
    // An object or list inside a note: wrong for a field this tool reads, passed over otherwise.
    bool Nested() {
        if (m_depth == 4 && m_inNotes && IsField(m_key)) {
            return Fail(Where() + m_key + " is not a string");
        }
        return SkipOrFail("");
    }
    void Leave() {
        if (m_skipFrom == m_depth) {
            m_skipFrom = 0;
        }
        --m_depth;
    }

    bool Scalar(Value kind, const std::string& value) {
        if (m_depth == 0) {
            return Fail("not an export of this tool: no \"format\": \"" + std::string(kJsonFormatName) +
                        "\"");
        }
        if (m_skipFrom > 0) {
            return true;
        }
        if (m_depth == 1) {
            if (m_key == "format" && kind == Value::kString) {
                m_format = value;
            } else if (m_key == "version" && kind == Value::kInteger) {
                m_version = value;
            } else if (m_key == "notes") {
                return Fail("no \"notes\" list");
            }
            return true;
        }
        if (m_depth == 2 && m_inNotes) {
            ++m_number;
            return Fail(Where() + "not an object");
        }
        if (m_depth != 3 || !m_inNotes) {
            return true;
        }
        const std::pair<const char*, std::optional<std::string>*> names[] = {
            {"date", &m_fields.date},          {"key", &m_fields.key},
            {"text", &m_fields.text},          {"gbk_hex", &m_fields.textHex},
            {"key_gbk_hex", &m_fields.keyHex}, {"stored_hex", &m_fields.storedHex}};
        for (const auto& [name, field] : names) {
            if (m_key != name) {
                continue;
            }
            if (kind == Value::kNull) {
                m_fields.undated = m_fields.undated || m_key == "date";
                return true;
            }
            if (kind != Value::kString) {
                return Fail(Where() + name + " is not a string");
            }
            *field = value;
        }
        return true;
    }

    const ImportOptions& m_options;
    std::function<void(DiaryEntry&&)> m_each;
    int m_depth = 0;
    int m_skipFrom = 0; // the depth of a value of no interest being passed over, else 0
    bool m_inNotes = false, m_sawNotes = false;
    std::string m_key;
    std::set<std::string> m_topKeys, m_noteKeys;
    std::optional<std::string> m_format, m_version;
    std::size_t m_number = 0;
    NoteFields m_fields;
};

} // namespace

std::string ReadJson(std::istream& in, const ImportOptions& options,
                     const std::function<void(DiaryEntry&&)>& each) {
    JsonNotesReader reader(options, each);
    if (!nlohmann::json::sax_parse(in, &reader)) {
        return reader.error;
    }
    return reader.Finish();
}

Imported ImportJson(std::string_view bytes, const ImportOptions& options) {
    Imported result;
    JsonNotesReader reader(options, [&](DiaryEntry&& entry) { result.entries.push_back(std::move(entry)); });
    if (!nlohmann::json::sax_parse(bytes.begin(), bytes.end(), &reader)) {
        return Failed(reader.error);
    }
    if (std::string error = reader.Finish(); !error.empty()) {
        return Failed(std::move(error));
    }
    return result;
}

// ---- csv

namespace {

struct CsvRecord {
    std::size_t offset = 0;
    std::vector<std::string> fields;
};

// Splits the text into records; an error names the byte where the text stops being csv.
std::string ParseCsv(std::string_view text, std::size_t base, std::vector<CsvRecord>& records) {
    std::size_t pos = 0;
    auto at = [&](std::size_t offset) { return "at byte " + std::to_string(base + offset) + ": "; };
    while (pos < text.size()) {
        CsvRecord record;
        record.offset = base + pos;
        for (;;) {
            std::string field;
            if (pos < text.size() && text[pos] == '"') {
                const std::size_t open = pos++;
                for (;;) {
                    if (pos >= text.size()) {
                        return at(open) + "a quoted field is not closed";
                    }
                    if (text[pos] == '"') {
                        if (pos + 1 < text.size() && text[pos + 1] == '"') {
                            field += '"';
                            pos += 2;
                            continue;
                        }
                        ++pos;
                        break;
                    }
                    field += text[pos++];
                }
                if (pos < text.size() && text[pos] != ',' && text[pos] != '\r' && text[pos] != '\n') {
                    return at(pos) + "a closing quote is followed by more than a comma or a line end";
                }
            } else {
                const std::size_t end = std::min(text.find_first_of(",\r\n", pos), text.size());
                const std::size_t quote = text.find('"', pos);
                if (quote < end) {
                    return at(quote) + "a quote inside a field that does not start with one";
                }
                field.assign(text.substr(pos, end - pos));
                pos = end;
            }
            record.fields.push_back(std::move(field));
            if (pos < text.size() && text[pos] == ',') {
                ++pos;
                continue;
            }
            break;
        }
        if (pos < text.size() && text[pos] == '\r') {
            ++pos;
        }
        if (pos < text.size() && text[pos] == '\n') {
            ++pos;
        }
        // A line with nothing on it (an editor's final line end, a gap) holds no record.
        if (!(record.fields.size() == 1 && record.fields[0].empty())) {
            records.push_back(std::move(record));
        }
    }
    return {};
}

} // namespace

Imported ImportCsv(std::string_view bytes, const ImportOptions& options) {
    std::size_t base = 0;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        base = 3;
    }
    const std::string_view text = bytes.substr(base);
    std::size_t bad = 0;
    if (!Utf16FromUtf8(text, &bad)) {
        return Failed("at byte " + std::to_string(base + bad) + ": not UTF-8");
    }
    std::vector<CsvRecord> records;
    std::string error = ParseCsv(text, base, records);
    if (!error.empty()) {
        return Failed(error);
    }
    if (records.empty()) {
        return Failed("no header line");
    }
    std::map<std::string, std::size_t> columns;
    for (std::size_t i = 0; i < records[0].fields.size(); ++i) {
        if (!columns.emplace(records[0].fields[i], i).second) {
            return Failed("the header names column " + records[0].fields[i] + " twice");
        }
    }
    if (!columns.count("text") || (!columns.count("key") && !columns.count("date"))) {
        return Failed("the header has no text column, or neither a key nor a date column");
    }
    Imported result;
    for (std::size_t r = 1; r < records.size(); ++r) {
        const CsvRecord& record = records[r];
        const std::string where =
            "at byte " + std::to_string(record.offset) + ", record " + std::to_string(r) + ": ";
        if (record.fields.size() != records[0].fields.size()) {
            return Failed(where + std::to_string(record.fields.size()) + " fields, the header has " +
                          std::to_string(records[0].fields.size()));
        }
        auto field = [&](const char* name, bool emptyIsAbsent) -> std::optional<std::string> {
            const auto it = columns.find(name);
            if (it == columns.end() || (emptyIsAbsent && record.fields[it->second].empty())) {
                return std::nullopt;
            }
            return record.fields[it->second];
        };
        NoteFields fields{field("date", true),
                          field("key", false),
                          field("text", false),
                          field("gbk_hex", true),
                          field("key_gbk_hex", true),
                          field("stored_hex", true),
                          columns.count("date") > 0 && !field("date", true)};
        // An empty key with a date asks for the date's key; an empty key alone is the empty key.
        if (fields.key && fields.key->empty() && fields.date) {
            fields.key.reset();
        }
        DiaryEntry entry;
        error = EntryOfFields(fields, options, entry);
        if (!error.empty()) {
            return Failed(where + error);
        }
        result.entries.push_back(std::move(entry));
    }
    return result;
}

// ---- ics

namespace {

std::string Upper(std::string_view text) {
    return UpperAscii(text);
}

std::vector<IcsProperty> IcsProperties(std::string_view text) {
    return ReadIcsProperties(text);
}

std::string IcsUnescape(std::string_view value) {
    return UnescapeIcsText(value);
}

int Digits(std::string_view text) {
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return -1;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

// A component being read: what decides its day and its text.
struct IcsItem {
    std::size_t line = 0;
    std::string kind;
    std::optional<IcsProperty> start;
    std::vector<std::string> descriptions;
    std::optional<std::string> summary, uid, hex, keyHex;
};

struct IcsNote {
    std::string key;
    std::int64_t when = 0; // local seconds, to order the entries of a day
    std::string text;      // notes' bytes
    std::size_t order = 0;
};

// The day of DTSTART, and when on it; an error in words when it names none.
std::string DayOfStart(const IcsProperty& p, const ImportOptions& options, Date& date, std::int64_t& when) {
    const std::string& v = p.value;
    const bool dateOnly = v.size() == 8;
    if (!(dateOnly || ((v.size() == 15 || v.size() == 16) && v[8] == 'T'))) {
        return "DTSTART " + v + " is no date or date-time";
    }
    date = {Digits(std::string_view(v).substr(0, 4)), Digits(std::string_view(v).substr(4, 2)),
            Digits(std::string_view(v).substr(6, 2))};
    if (!ParseIsoDate(IsoDate(date))) {
        return "DTSTART " + v + " is no day";
    }
    int seconds = 0;
    if (!dateOnly) {
        const int h = Digits(std::string_view(v).substr(9, 2)), m = Digits(std::string_view(v).substr(11, 2)),
                  s = Digits(std::string_view(v).substr(13, 2));
        if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 60 || (v.size() == 16 && v[15] != 'Z')) {
            return "DTSTART " + v + " is no time";
        }
        seconds = h * 3600 + m * 60 + s;
        // A time in UTC falls on the local day where the diary is kept; a time with a TZID, or a
        // floating one, is already the local time of the entry.
        if (v.size() == 16) {
            const std::int64_t utc = DayNumber(date) * 86400 + seconds;
            date = options.localDateOf ? options.localDateOf(utc) : DateOfDayNumber(utc / 86400);
            when = utc;
            return {};
        }
    }
    when = DayNumber(date) * 86400 + seconds;
    return {};
}

std::string JoinParts(const std::vector<IcsNote>& notes) {
    std::string text;
    std::vector<std::string_view> parts;
    for (const IcsNote& n : notes) {
        if (std::find(parts.begin(), parts.end(), n.text) != parts.end()) {
            continue;
        }
        parts.push_back(n.text);
        text += (text.empty() ? "" : kAppendSeparator) + n.text;
    }
    return text;
}

} // namespace

Imported ImportIcs(std::string_view bytes, const ImportOptions& options) {
    std::size_t base = bytes.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    const std::string_view text = bytes.substr(base);
    std::size_t bad = 0;
    if (!Utf16FromUtf8(text, &bad)) {
        return Failed("at byte " + std::to_string(base + bad) + ": not UTF-8");
    }
    const std::vector<IcsProperty> properties = IcsProperties(text);
    if (properties.empty() || properties[0].name != "BEGIN" || Upper(properties[0].value) != "VCALENDAR") {
        return Failed("line 1: no BEGIN:VCALENDAR, so no iCalendar file");
    }
    std::vector<std::string> open;
    std::optional<IcsItem> item;
    std::vector<IcsNote> notes;
    std::size_t skippedEvents = 0;
    for (const IcsProperty& p : properties) {
        const std::string where = "line " + std::to_string(p.line) + ": ";
        if (p.name == "BEGIN") {
            open.push_back(Upper(p.value));
            if (open.size() == 2 && (open[1] == "VJOURNAL" || open[1] == "VEVENT")) {
                item = IcsItem{p.line, open[1], {}, {}, {}, {}, {}, {}};
            }
            continue;
        }
        if (p.name == "END") {
            if (open.empty() || open.back() != Upper(p.value)) {
                return Failed(where + "END:" + p.value + " closes no BEGIN:" + p.value);
            }
            open.pop_back();
            if (open.size() != 1 || !item) {
                continue;
            }
            const IcsItem it = std::move(*item);
            item.reset();
            if (it.kind == "VEVENT" && !options.includeEvents) {
                ++skippedEvents;
                continue;
            }
            const std::string at = "line " + std::to_string(it.line) + ": " + it.kind + " ";
            IcsNote note;
            note.order = notes.size();
            std::string utf8;
            for (const std::string& d : it.descriptions) {
                utf8 += (utf8.empty() ? "" : "\r\n") + IcsUnescape(d);
            }
            if (it.descriptions.empty() && it.summary) {
                utf8 = IcsUnescape(*it.summary);
            }
            std::optional<std::string> hexBytes;
            if (it.hex) {
                hexBytes = BytesOfHex(*it.hex);
                if (!hexBytes) {
                    return Failed(at + "X-QUILLIDAR-GBK-HEX is not an even number of hexadecimal digits");
                }
            }
            // The bytes stand only while the text still says what they say: a calendar program that
            // edits the text keeps the property it does not know, and the edit must win.
            bool ignored = true;
            if (hexBytes && (it.descriptions.empty() ||
                             IcsUnescape(EscapeIcsText(Utf8FromNotes(*hexBytes), &ignored)) == utf8)) {
                note.text = *hexBytes;
            } else {
                if (utf8.empty()) {
                    continue; // nothing written in it: no note
                }
                note.text = NotesFromUtf8(utf8).value_or(std::string());
            }
            if (note.text.find('\0') != std::string::npos) {
                return Failed(at + "holds a zero byte, which the notes file cannot hold");
            }
            if (it.start) {
                Date date;
                const std::string why = DayOfStart(*it.start, options, date, note.when);
                if (!why.empty()) {
                    return Failed("line " + std::to_string(it.start->line) + ": " + why);
                }
                if (DateOfKey(KeyOfDate(date), options.pivot) != date) {
                    return Failed("line " + std::to_string(it.start->line) + ": " +
                                  OutsideWindow("the day " + IsoDate(date), options.pivot));
                }
                note.key = KeyOfDate(date);
            } else {
                // This tool writes a note of no calendar day without DTSTART, its key in the UID.
                const std::string uid = it.uid.value_or("");
                const std::size_t atSign = uid.rfind("@quillidar");
                if (atSign == std::string::npos || atSign + 10 != uid.size()) {
                    return Failed(at + "has no DTSTART, so it names no day");
                }
                std::string key = uid.substr(0, atSign);
                const std::size_t dash = key.rfind('-');
                if (dash != std::string::npos && dash > 0 &&
                    Digits(std::string_view(key).substr(dash + 1)) > 1) {
                    key.resize(dash);
                }
                if (it.keyHex) {
                    key = BytesOfHex(*it.keyHex).value_or(key);
                } else {
                    key = NotesFromUtf8(key).value_or(key);
                }
                if (!options.allowUndated) {
                    return Failed(at + "names no day (key \"" + Utf8FromNotes(key) +
                                  "\"), and a note filed under it would never show");
                }
                note.key = key;
            }
            notes.push_back(std::move(note));
            continue;
        }
        if (!item || open.size() != 2) {
            continue; // VALARM and the like inside an entry, VTIMEZONE, calendar properties
        }
        if (p.name == "DTSTART") {
            item->start = p;
        } else if (p.name == "DESCRIPTION") {
            item->descriptions.push_back(p.value);
        } else if (p.name == "SUMMARY") {
            item->summary = p.value;
        } else if (p.name == "UID") {
            item->uid = IcsUnescape(p.value);
        } else if (p.name == "X-QUILLIDAR-GBK-HEX") {
            item->hex = p.value;
        } else if (p.name == "X-QUILLIDAR-KEY-GBK-HEX") {
            item->keyHex = p.value;
        }
    }
    if (!open.empty()) {
        return Failed("BEGIN:" + open.back() + " is never closed");
    }
    (void)skippedEvents;
    // The entries of one day become one note, in order of their start, joined as append joins.
    std::stable_sort(notes.begin(), notes.end(), [](const IcsNote& a, const IcsNote& b) {
        return a.key != b.key ? a.key < b.key : a.when < b.when;
    });
    std::vector<std::pair<std::size_t, DiaryEntry>> joined;
    for (std::size_t i = 0; i < notes.size();) {
        std::size_t j = i;
        std::size_t first = notes[i].order;
        while (j < notes.size() && notes[j].key == notes[i].key) {
            first = std::min(first, notes[j].order);
            ++j;
        }
        joined.push_back(
            {first,
             DiaryEntry{notes[i].key,
                        JoinParts(std::vector<IcsNote>(notes.begin() + static_cast<std::ptrdiff_t>(i),
                                                       notes.begin() + static_cast<std::ptrdiff_t>(j))),
                        {}}});
        i = j;
    }
    std::sort(joined.begin(), joined.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    Imported result;
    for (auto& [order, entry] : joined) {
        result.entries.push_back(std::move(entry));
    }
    return result;
}

std::optional<Format> GuessImportFormat(std::string_view name, std::string_view head) {
    if (const auto byName = FormatOfFileName(name);
        byName && (*byName == Format::kJson || *byName == Format::kCsv || *byName == Format::kIcs)) {
        return byName;
    }
    if (head.substr(0, 3) == "\xEF\xBB\xBF") {
        head.remove_prefix(3);
    }
    const std::size_t first = head.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    head.remove_prefix(first);
    if (head[0] == '{') {
        return Format::kJson;
    }
    if (Upper(head.substr(0, 15)) == "BEGIN:VCALENDAR") {
        return Format::kIcs;
    }
    // A csv this tool reads starts with a header that names a text column.
    const std::string header = Upper(head.substr(0, head.find_first_of("\r\n")));
    if (header.find(',') != std::string::npos && header.find("TEXT") != std::string::npos) {
        return Format::kCsv;
    }
    return std::nullopt;
}

} // namespace notes_tool

// Readers of the json, csv and iCalendar files.
#include "notes_tool/import_formats.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include <nlohmann/json.hpp>

#include "notes_tool/diary_dates.h"
#include "notes_tool/text_codec.h"
#include "ical/journal.h"

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

struct IcsNote {
    std::string key;
    std::int64_t when = 0; // local seconds, to order the entries of a day
    std::string text;      // notes' bytes
    std::size_t order = 0;
};

// The day of DTSTART, and when on it; an error in words when it names none.
std::string DayOfStart(const ical::Property& p, const ImportOptions& options, Date& date,
                       std::int64_t& when) {
    std::string why;
    const std::optional<ical::Start> start = ical::ReadStart(p, &why);
    if (!start) {
        return why;
    }
    date = FromCivil(start->day);
    when = start->Instant();
    // A time in UTC falls on the local day where the diary is kept; a time with a TZID, or a
    // floating one, is already the local time of the entry.
    if (start->form == ical::StartForm::kUtc && options.localDateOf) {
        date = options.localDateOf(when);
    }
    return {};
}

// This tool writes a note of no calendar day without DTSTART, its key in the UID.
std::string KeyOfUndated(const ical::Component& c, const ImportOptions& options, const std::string& at,
                         std::string& key) {
    const std::string uid = c.uid.value_or("");
    const std::size_t atSign = uid.rfind("@quillidar");
    if (atSign == std::string::npos || atSign + 10 != uid.size()) {
        return at + "has no DTSTART, so it names no day";
    }
    key = uid.substr(0, atSign);
    const std::size_t dash = key.rfind('-');
    if (dash != std::string::npos && dash > 0 && DigitsValue(std::string_view(key).substr(dash + 1)) > 1) {
        key.resize(dash);
    }
    if (const std::string* keyHex = c.Mark(ical::kKeyBytesHex)) {
        key = BytesOfHex(*keyHex).value_or(key);
    } else {
        key = NotesFromUtf8(key).value_or(key);
    }
    if (!options.allowUndated) {
        return at + "names no day (key \"" + Utf8FromNotes(key) +
               "\"), and a note filed under it would never show";
    }
    return {};
}

// The note a journal or event holds: an error in words, or *none when nothing is written in it.
std::string NoteOfComponent(const ical::Component& c, const ImportOptions& options, IcsNote& note,
                            bool& none) {
    const std::string at = "line " + std::to_string(c.line) + ": " + c.kind + " ";
    const ical::Carried carried = ical::CarriedBytes(c);
    if (carried.state == ical::CarriedState::kMalformed) {
        return at + ical::kBytesHex + " is not an even number of hexadecimal digits";
    }
    // The bytes stand only while the text still says what they say: a calendar program that
    // edits the text keeps the property it does not know, and the edit must win.
    if (carried.state == ical::CarriedState::kTaken) {
        note.text = carried.bytes;
    } else {
        const std::string utf8 = c.Text();
        if (utf8.empty()) {
            none = true;
            return {};
        }
        note.text = NotesFromUtf8(utf8).value_or(std::string());
    }
    if (note.text.find('\0') != std::string::npos) {
        return at + "holds a zero byte, which the notes file cannot hold";
    }
    if (!c.start) {
        return KeyOfUndated(c, options, at, note.key);
    }
    Date date;
    const std::string where = "line " + std::to_string(c.start->line) + ": ";
    if (const std::string why = DayOfStart(*c.start, options, date, note.when); !why.empty()) {
        return where + why;
    }
    if (DateOfKey(KeyOfDate(date), options.pivot) != date) {
        return where + OutsideWindow("the day " + IsoDate(date), options.pivot);
    }
    note.key = KeyOfDate(date);
    return {};
}

std::string JoinParts(std::vector<IcsNote>::const_iterator begin, std::vector<IcsNote>::const_iterator end) {
    std::string text;
    std::vector<std::string_view> parts;
    for (auto n = begin; n != end; ++n) {
        if (std::find(parts.begin(), parts.end(), n->text) != parts.end()) {
            continue;
        }
        parts.push_back(n->text);
        text += (text.empty() ? "" : kAppendSeparator) + n->text;
    }
    return text;
}

// The entries of one day become one note, in order of their start, joined as append joins; the
// days keep the order their first entries came in.
std::vector<DiaryEntry> JoinedByDay(std::vector<IcsNote> notes) {
    std::stable_sort(notes.begin(), notes.end(), [](const IcsNote& a, const IcsNote& b) {
        return a.key != b.key ? a.key < b.key : a.when < b.when;
    });
    std::vector<std::pair<std::size_t, DiaryEntry>> joined;
    for (auto i = notes.cbegin(); i != notes.cend();) {
        auto j = i;
        std::size_t first = i->order;
        while (j != notes.cend() && j->key == i->key) {
            first = std::min(first, j->order);
            ++j;
        }
        joined.push_back({first, DiaryEntry{i->key, JoinParts(i, j), {}}});
        i = j;
    }
    std::sort(joined.begin(), joined.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<DiaryEntry> entries;
    for (auto& [order, entry] : joined) {
        entries.push_back(std::move(entry));
    }
    return entries;
}

} // namespace

Imported ImportIcs(std::string_view bytes, const ImportOptions& options) {
    const std::size_t base = bytes.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    std::size_t bad = 0;
    if (!Utf16FromUtf8(bytes.substr(base), &bad)) {
        return Failed("at byte " + std::to_string(base + bad) + ": not UTF-8");
    }
    const ical::Calendar calendar = ical::ReadCalendar(bytes);
    if (!calendar.error.empty()) {
        return Failed(calendar.error);
    }
    std::vector<IcsNote> notes;
    for (const ical::Component& c : calendar.components) {
        if (c.kind == "VEVENT" && !options.includeEvents) {
            continue;
        }
        IcsNote note;
        note.order = notes.size();
        bool none = false;
        if (const std::string why = NoteOfComponent(c, options, note, none); !why.empty()) {
            return Failed(why);
        }
        if (!none) {
            notes.push_back(std::move(note));
        }
    }
    Imported result;
    result.entries = JoinedByDay(std::move(notes));
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
    if (ical::UpperAscii(head.substr(0, 15)) == "BEGIN:VCALENDAR") {
        return Format::kIcs;
    }
    // A csv this tool reads starts with a header that names a text column.
    const std::string header = ical::UpperAscii(head.substr(0, head.find_first_of("\r\n")));
    if (header.find(',') != std::string::npos && header.find("TEXT") != std::string::npos) {
        return Format::kCsv;
    }
    return std::nullopt;
}

} // namespace notes_tool

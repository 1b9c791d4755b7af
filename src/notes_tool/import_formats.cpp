// Readers of the json and csv exports.
#include "notes_tool/import_formats.h"

#include <map>
#include <optional>

#include <nlohmann/json.hpp>

#include "notes_tool/diary_dates.h"
#include "notes_tool/text_codec.h"

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
std::string EntryOfFields(const NoteFields& f, DiaryEntry& out) {
    std::string error;
    std::optional<Date> date;
    if (f.date) {
        date = ParseIsoDate(*f.date);
        if (!date) {
            return "date \"" + *f.date + "\" is no day written YYYY-MM-DD";
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

} // namespace

Imported ImportJson(std::string_view bytes) {
    using nlohmann::json;
    json doc;
    try {
        doc = json::parse(bytes.begin(), bytes.end());
    } catch (const json::parse_error& e) {
        return Failed("at byte " + std::to_string(e.byte == 0 ? 0 : e.byte - 1) + ": " +
                      WithoutExceptionId(e.what()));
    }
    if (!doc.is_object() || !doc.contains("format") || doc["format"] != kJsonFormatName) {
        return Failed(std::string("not an export of this tool: no \"format\": \"") + kJsonFormatName + "\"");
    }
    if (!doc.contains("version") || !doc["version"].is_number_integer()) {
        return Failed("no \"version\" number");
    }
    if (doc["version"] != kJsonVersion) {
        return Failed("version " + doc["version"].dump() + " is not one this program reads (" +
                      std::to_string(kJsonVersion) + ")");
    }
    if (!doc.contains("notes") || !doc["notes"].is_array()) {
        return Failed("no \"notes\" list");
    }
    Imported result;
    std::size_t number = 0;
    for (const json& note : doc["notes"]) {
        ++number;
        const std::string where = "note " + std::to_string(number) + ": ";
        if (!note.is_object()) {
            return Failed(where + "not an object");
        }
        NoteFields fields;
        const std::pair<const char*, std::optional<std::string>*> names[] = {
            {"date", &fields.date},          {"key", &fields.key},
            {"text", &fields.text},          {"gbk_hex", &fields.textHex},
            {"key_gbk_hex", &fields.keyHex}, {"stored_hex", &fields.storedHex}};
        for (const auto& [name, field] : names) {
            const auto it = note.find(name);
            if (it == note.end() || it->is_null()) {
                continue;
            }
            if (!it->is_string()) {
                return Failed(where + name + " is not a string");
            }
            *field = it->get<std::string>();
        }
        DiaryEntry entry;
        const std::string error = EntryOfFields(fields, entry);
        if (!error.empty()) {
            return Failed(where + error);
        }
        result.entries.push_back(std::move(entry));
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

Imported ImportCsv(std::string_view bytes) {
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
        NoteFields fields{field("date", true),    field("key", false),        field("text", false),
                          field("gbk_hex", true), field("key_gbk_hex", true), field("stored_hex", true)};
        // An empty key with a date asks for the date's key; an empty key alone is the empty key.
        if (fields.key && fields.key->empty() && fields.date) {
            fields.key.reset();
        }
        DiaryEntry entry;
        error = EntryOfFields(fields, entry);
        if (!error.empty()) {
            return Failed(where + error);
        }
        result.entries.push_back(std::move(entry));
    }
    return result;
}

Format GuessImportFormat(std::string_view name, std::string_view bytes) {
    auto endsWith = [&](std::string_view suffix) {
        if (name.size() < suffix.size()) {
            return false;
        }
        for (std::size_t i = 0; i < suffix.size(); ++i) {
            char c = name[name.size() - suffix.size() + i];
            if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
            if (c != suffix[i]) {
                return false;
            }
        }
        return true;
    };
    if (endsWith(".json")) {
        return Format::kJson;
    }
    if (endsWith(".csv")) {
        return Format::kCsv;
    }
    const std::size_t first = bytes.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
    return first != std::string_view::npos && bytes[first] == '{' ? Format::kJson : Format::kCsv;
}

} // namespace notes_tool

// The sync state's file: one record a line, a count and a checksum at the end so that a cut or
// changed file is recognised as such. A field is its bytes with only the four that would end it or
// its line escaped, and a day's resource of the usual name only marked, so the file is about the
// diary's size; the first version's hexadecimal fields, twice that, are still read.
#include "sync/sync_state.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>

#include "diary/note_join.h"
#include "sync/caldav_client.h"

namespace {

constexpr std::string_view kMagicHex = "quillidar-sync 1\n";
constexpr std::string_view kMagic = "quillidar-sync 2\n";
constexpr std::string_view kOwnHref = "\\h";

std::optional<std::string> Unhex(std::string_view hex) {
    if (hex == "-") {
        return std::string();
    }
    if (hex.empty() || hex.size() % 2 != 0) {
        return std::nullopt;
    }
    auto digit = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    std::string out;
    out.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int hi = digit(hex[i]), lo = digit(hex[i + 1]);
        if (hi < 0 || lo < 0) {
            return std::nullopt;
        }
        out.push_back(static_cast<char>(hi * 16 + lo));
    }
    return out;
}

// Appends a field: '\\' '\\s' '\\n' '\\r' for a backslash, space, line feed and carriage
// return; a lone "\\e" for the empty field, so two spaces never meet. The last field of a line
// keeps its spaces: a record's last field is the rest of its line.
void PutField(std::string& out, std::string_view bytes, bool last) {
    out += out.empty() || out.back() == '\n' ? "" : " ";
    if (bytes.empty()) {
        out += "\\e";
        return;
    }
    for (const char c : bytes) {
        const char* escaped = c == '\\'           ? "\\\\"
                              : c == ' ' && !last ? "\\s"
                              : c == '\n'         ? "\\n"
                              : c == '\r'         ? "\\r"
                                                  : nullptr;
        if (escaped) {
            out += escaped;
        } else {
            out += c;
        }
    }
}

std::optional<std::string> Unescape(std::string_view field) {
    if (field == "\\e") {
        return std::string();
    }
    if (field.empty()) {
        return std::nullopt;
    }
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out.push_back(field[i]);
            continue;
        }
        if (++i == field.size()) {
            return std::nullopt;
        }
        switch (field[i]) {
        case '\\':
            out.push_back('\\');
            break;
        case 's':
            out.push_back(' ');
            break;
        case 'n':
            out.push_back('\n');
            break;
        case 'r':
            out.push_back('\r');
            break;
        default:
            return std::nullopt; // "\\e" inside a field, or an escape no writer makes
        }
    }
    return out;
}

void PutLine(std::string& out, std::initializer_list<std::string_view> words,
             std::initializer_list<std::string_view> fields) {
    bool first = true;
    for (const std::string_view w : words) {
        out += first ? "" : " ";
        out += w;
        first = false;
    }
    std::size_t left = fields.size();
    for (const std::string_view f : fields) {
        PutField(out, f, --left == 0);
    }
    out += '\n';
}

// The fields a record of that name has, its name included: the last one is the rest of the line.
std::size_t FieldsOf(std::string_view line) {
    for (const auto& [name, count] : {std::pair<std::string_view, std::size_t>{"day ", 5},
                                      {"entry ", 3},
                                      {"foreign ", 3},
                                      {"seen ", 4},
                                      {"collection ", 2},
                                      {"name ", 2},
                                      {"token ", 2}}) {
        if (line.starts_with(name)) {
            return count;
        }
    }
    return std::string_view::npos;
}

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> out;
    const std::size_t most = FieldsOf(line);
    while (!line.empty()) {
        if (out.size() + 1 == most) {
            out.push_back(line);
            break;
        }
        const std::size_t at = line.find(' ');
        out.push_back(line.substr(0, at));
        if (at == std::string_view::npos) {
            break;
        }
        line.remove_prefix(at + 1);
    }
    return out;
}

} // namespace

std::optional<std::string_view> ForeignTextIn(std::string_view note, const ForeignEntry& entry) {
    if (!entry.HeldAsSum()) {
        return std::string_view(entry.text);
    }
    const std::string_view separator = kNotePartSeparator;
    for (std::size_t at = 0;;) {
        const std::size_t end = at + entry.size;
        if (end <= note.size() && (end == note.size() || note.substr(end, separator.size()) == separator) &&
            SyncFileChecksum(note.substr(at, entry.size)) == entry.sum) {
            return note.substr(at, entry.size);
        }
        const std::size_t next = note.find(separator, at);
        if (next == std::string_view::npos) {
            return std::nullopt;
        }
        at = next + separator.size();
    }
}

void HoldAsSumWhenShown(std::string_view note, ForeignEntry& entry) {
    if (entry.text.empty() || entry.text.size() > UINT32_MAX) {
        return;
    }
    ForeignEntry held{
        entry.date, {}, SyncFileChecksum(entry.text), static_cast<std::uint32_t>(entry.text.size())};
    const std::optional<std::string_view> shown = ForeignTextIn(note, held);
    if (shown && *shown == entry.text) {
        entry.sum = held.sum;
        entry.size = held.size;
        std::string().swap(entry.text); // its bytes given back, which a move from "" would keep
    }
}

namespace {

std::uint32_t DayNumber(const SyncDate& date) {
    return static_cast<std::uint32_t>(date.year * 10000 + date.month * 100 + date.day);
}

} // namespace

ForeignTextsByDay IndexForeignByDay(std::map<std::string, ForeignResource>& resources,
                                    std::map<std::string, std::optional<ForeignResource>>* changes) {
    ForeignTextsByDay byDay;
    const auto add = [&byDay](ForeignResource& resource) {
        for (ForeignEntry& e : resource.entries) {
            byDay.emplace_back(DayNumber(e.date), &e);
        }
    };
    // Both in the order of their hrefs, a change standing for the resource it changes.
    auto r = resources.begin();
    if (changes) {
        for (auto& [href, change] : *changes) {
            for (; r != resources.end() && r->first < href; ++r) {
                add(r->second);
            }
            if (change) {
                add(*change);
            }
            if (r != resources.end() && r->first == href) {
                ++r;
            }
        }
    }
    for (; r != resources.end(); ++r) {
        add(r->second);
    }
    std::stable_sort(byDay.begin(), byDay.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    byDay.shrink_to_fit();
    return byDay;
}

std::vector<ForeignEntry*> ForeignEntriesOf(const ForeignTextsByDay& byDay, const std::string& date) {
    std::vector<ForeignEntry*> entries;
    const std::optional<SyncDate> day = ParseCompactDate(date);
    if (!day) {
        return entries;
    }
    const std::uint32_t number = DayNumber(*day);
    auto it = std::lower_bound(byDay.begin(), byDay.end(), number,
                               [](const auto& pair, std::uint32_t n) { return pair.first < n; });
    for (; it != byDay.end() && it->first == number; ++it) {
        entries.push_back(it->second);
    }
    return entries;
}

std::vector<std::string> ForeignTextsIn(std::string_view note, const std::vector<ForeignEntry*>& entries,
                                        bool standIns) {
    std::vector<std::string> texts;
    for (const ForeignEntry* e : entries) {
        if (const std::optional<std::string_view> text = ForeignTextIn(note, *e)) {
            texts.emplace_back(*text);
        } else if (standIns) {
            // The same for entries of the same sum, as their texts would be alike.
            std::string standIn = "\x01" + std::to_string(e->sum);
            while (HoldsNotePart(note, standIn)) {
                standIn += '\x01';
            }
            texts.push_back(std::move(standIn));
        }
    }
    return texts;
}

std::vector<std::string> ForeignTextsOf(const ForeignTextsByDay& byDay, const std::string& date,
                                        std::string_view note, bool standIns) {
    return ForeignTextsIn(note, ForeignEntriesOf(byDay, date), standIns);
}

namespace {

// The bytes a state's file is written in at a time: a big diary's state is never held whole.
constexpr std::size_t kStatePiece = 1u << 20;

// Writes the records into `out` as they come, handing out on to `put` whenever it holds a piece;
// the checksum covers every byte before the end line. False once `put` refused a piece.
class StatePieces {
  public:
    StatePieces(std::string& out, const std::function<bool(std::string_view)>& put)
        : m_out(out), m_put(put) {}

    void Line(std::initializer_list<std::string_view> words, std::initializer_list<std::string_view> fields) {
        PutLine(m_out, words, fields);
        ++m_records;
        if (m_out.size() >= kStatePiece) {
            Hand();
        }
    }
    bool End() {
        Hand();
        PutLine(m_out, {"end", std::to_string(m_records), SyncSumHex(m_sum)}, {});
        Hand();
        return m_ok;
    }

  private:
    void Hand() {
        m_sum = SyncFileChecksum(m_out, m_sum);
        m_ok = m_ok && m_put(m_out);
        m_out.clear();
    }

    std::string& m_out;
    const std::function<bool(std::string_view)>& m_put;
    std::size_t m_records = 0;
    std::uint64_t m_sum = kSyncChecksumStart;
    bool m_ok = true;
};

void WriteRecords(const SyncState& state, StatePieces& w) {
    w.Line({"collection"}, {state.collection});
    if (!state.name.empty()) {
        w.Line({"name"}, {state.name});
    }
    w.Line({"token"}, {state.token});
    w.Line({"listing", state.etagsOnly ? "etags" : "sync"}, {});
    const std::string path = CalDavClient::PathOfUrl(state.collection);
    for (const auto& [date, day] : state.days) {
        const std::optional<SyncDate> parsed = ParseCompactDate(date);
        if (parsed && day.href == path + HrefNameOfDay(*parsed)) {
            // The day's own name in the collection, as it nearly always is: one mark for it.
            w.Line({"day", date, kOwnHref}, {day.etag, day.base});
        } else {
            w.Line({"day", date}, {day.href, day.etag, day.base});
        }
        if (!day.made.empty()) {
            // Its own record, so a file of a version before it reads the same as ever.
            w.Line({"made"}, {day.made});
        }
    }
    for (const auto& [href, resource] : state.foreign) {
        w.Line({"foreign"}, {href, resource.etag});
        for (const ForeignEntry& e : resource.entries) {
            if (e.HeldAsSum()) {
                // A record of its own: a version before it refuses the file whole and compares the
                // days afresh, rather than read an entry without its text.
                w.Line({"seen", CompactDate(e.date), std::to_string(e.size), SyncSumHex(e.sum)}, {});
            } else {
                w.Line({"entry", CompactDate(e.date)}, {e.text});
            }
        }
    }
}

} // namespace

bool WriteSyncState(const SyncState& state, const std::function<bool(std::string_view)>& put) {
    std::string out(kMagic);
    out.reserve(kStatePiece + 4096);
    StatePieces w(out, put);
    WriteRecords(state, w);
    return w.End();
}

std::string EncodeSyncState(const SyncState& state) {
    std::size_t size = 128 + state.collection.size() + state.name.size() + state.token.size();
    for (const auto& [date, day] : state.days) {
        size += 32 + day.href.size() + day.etag.size() + day.made.size() + day.base.size() * 9 / 8;
    }
    for (const auto& [href, resource] : state.foreign) {
        size += 16 + href.size() + resource.etag.size();
        for (const ForeignEntry& e : resource.entries) {
            size += 16 + e.text.size() * 9 / 8;
        }
    }
    std::string body;
    body.reserve(size);
    WriteSyncState(state, [&body](std::string_view piece) {
        body += piece;
        return true;
    });
    return body;
}

namespace {

// The records between the magic line and the end line, once the end line's checksum holds for
// them; *count is the number of records the end line says there are.
std::optional<std::string_view> CheckedBody(std::string_view bytes, std::string_view& count) {
    static_assert(kMagic.size() == kMagicHex.size());
    const std::size_t endAt = bytes.rfind("end ");
    if (endAt == std::string_view::npos || endAt < kMagic.size() || bytes[endAt - 1] != '\n' ||
        !bytes.ends_with("\n")) {
        return std::nullopt;
    }
    const std::vector<std::string_view> end = Fields(bytes.substr(endAt, bytes.size() - endAt - 1));
    const std::string_view body = bytes.substr(0, endAt);
    if (end.size() != 3 || SyncSumOfHex(end[2]) != SyncFileChecksum(body)) {
        return std::nullopt;
    }
    count = end[1];
    return body.substr(kMagic.size());
}

// The state read record by record: a "made" record belongs to the day just read, an "entry" to the
// foreign resource just read.
class StateRecords {
  public:
    explicit StateRecords(bool hex) : m_hex(hex) {}

    SyncState state;

    bool Read(const std::vector<std::string_view>& f) {
        std::vector<std::string> values;
        return !f.empty() && ValuesOf(f, values) && Take(f[0], values);
    }

  private:
    // A record's fields after its name, unescaped; dates, the listing's word and "own" as written.
    bool ValuesOf(const std::vector<std::string_view>& f, std::vector<std::string>& values) const {
        for (std::size_t i = 1; i < f.size(); ++i) {
            if ((i == 1 && (f[0] == "day" || f[0] == "listing" || f[0] == "entry")) || f[0] == "seen") {
                values.emplace_back(f[i]);
                continue;
            }
            if (!m_hex && f[0] == "day" && i == 2 && f[i] == kOwnHref) {
                const std::optional<SyncDate> date = ParseCompactDate(f[1]);
                if (!date) {
                    return false;
                }
                values.push_back(CalDavClient::PathOfUrl(state.collection) + HrefNameOfDay(*date));
                continue;
            }
            const std::optional<std::string> v = m_hex ? Unhex(f[i]) : Unescape(f[i]);
            if (!v) {
                return false;
            }
            values.push_back(*v);
        }
        return true;
    }

    bool Take(std::string_view kind, const std::vector<std::string>& values) {
        if (kind == "collection" && values.size() == 1) {
            state.collection = values[0];
        } else if (kind == "listing" && values.size() == 1 && (values[0] == "etags" || values[0] == "sync")) {
            state.etagsOnly = values[0] == "etags";
        } else if (kind == "name" && values.size() == 1 && !values[0].empty()) {
            state.name = values[0];
        } else if (kind == "token" && values.size() == 1) {
            state.token = values[0];
        } else if (kind == "day" && values.size() == 4 && ParseCompactDate(values[0])) {
            auto [it, added] =
                state.days.emplace(values[0], SyncDayState{values[1], values[2], values[3], {}});
            m_day = added ? &it->second : nullptr;
            m_resource = nullptr;
            return added;
        } else if (kind == "made" && values.size() == 1 && m_day && m_day->made.empty() &&
                   !values[0].empty()) {
            m_day->made = values[0];
            m_day = nullptr;
        } else if (kind == "foreign" && values.size() == 2) {
            auto [it, added] = state.foreign.emplace(values[0], ForeignResource{values[1], {}});
            m_resource = added ? &it->second : nullptr;
            m_day = nullptr;
            return added;
        } else if (kind == "entry" && values.size() == 2 && m_resource) {
            const std::optional<SyncDate> date = ParseCompactDate(values[0]);
            if (!date) {
                return false;
            }
            m_resource->entries.push_back({*date, values[1]});
        } else if (kind == "seen" && values.size() == 3 && m_resource) {
            return TakeSeen(values);
        } else {
            return false;
        }
        return true;
    }

    // An entry held as its length and checksum: a length of digits alone, never 0.
    bool TakeSeen(const std::vector<std::string>& values) {
        const std::optional<SyncDate> date = ParseCompactDate(values[0]);
        const std::optional<std::uint64_t> sum = SyncSumOfHex(values[2]);
        std::uint32_t size = 0;
        const char* last = values[1].data() + values[1].size();
        const auto [end, error] = std::from_chars(values[1].data(), last, size);
        if (!date || !sum || error != std::errc() || end != last || size == 0 || values[1][0] == '0') {
            return false;
        }
        m_resource->entries.push_back({*date, {}, *sum, size});
        return true;
    }

    bool m_hex;
    ForeignResource* m_resource = nullptr;
    SyncDayState* m_day = nullptr; // the day just read, which a "made" record may follow
};

} // namespace

bool DecodeSyncState(std::string_view bytes, SyncState& state) {
    state = {};
    const bool hex = bytes.starts_with(kMagicHex);
    if (!hex && !bytes.starts_with(kMagic)) {
        return false;
    }
    std::string_view count;
    std::optional<std::string_view> rest = CheckedBody(bytes, count);
    if (!rest) {
        return false;
    }
    StateRecords records(hex);
    std::size_t read = 0;
    while (!rest->empty()) {
        const std::size_t nl = rest->find('\n');
        if (nl == std::string_view::npos || !records.Read(Fields(rest->substr(0, nl)))) {
            return false;
        }
        rest->remove_prefix(nl + 1);
        ++read;
    }
    if (count != std::to_string(read)) {
        return false;
    }
    state = std::move(records.state);
    return true;
}

SaveResult SaveSyncStateWhole(FileSystem& fs, const FsPath& path, const SyncState& state) {
    return SaveFileAtomically(fs, path, [&state](const std::function<FileError(std::string_view)>& put) {
        FileError error = FileError::kNone;
        WriteSyncState(state, [&](std::string_view piece) {
            error = put(piece);
            return error == FileError::kNone;
        });
        return error;
    });
}

SaveResult KeepSyncStateFile(FileSystem& fs, const FsPath& path, const SyncState& state,
                             std::uint64_t fileSum) {
    // The sum first, of pieces let go as they are made: an unchanged state is never held twice.
    std::uint64_t sum = kSyncChecksumStart;
    WriteSyncState(state, [&sum](std::string_view piece) {
        sum = SyncFileChecksum(piece, sum);
        return true;
    });
    if (fileSum != 0 && sum == fileSum) {
        SaveResult same;
        same.outcome = SaveOutcome::kSaved;
        return same;
    }
    return SaveSyncStateWhole(fs, path, state);
}

SyncState LoadSyncStateFile(FileSystem& fs, const FsPath& path, bool* damaged, std::uint64_t* fileSum) {
    SyncState state;
    std::string bytes;
    const FileError error = LoadFile(fs, path, bytes);
    bool bad = false;
    if (error == FileError::kNone) {
        bad = !DecodeSyncState(bytes, state);
    } else {
        bad = error != FileError::kNotFound;
    }
    if (damaged) {
        *damaged = bad;
    }
    if (fileSum) {
        // A first version's file is written anew in the compact form however little changed.
        *fileSum = bad || !bytes.starts_with(kMagic) ? 0 : SyncFileChecksum(bytes);
    }
    return state;
}

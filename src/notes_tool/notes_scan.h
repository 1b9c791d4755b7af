// Reading a notes file without trusting it: where each string stands and in which form, where and
// why reading stops, and what can still be recovered after that point.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace notes_tool {

// One counted string as it stands in the file.
struct StoredString {
    std::size_t offset = 0; // of its length prefix
    std::size_t size = 0;   // prefix and payload together
    bool wide = false;      // UTF-16 behind the FF FE FF tag
    std::string value;      // what the widget reads from it
};

struct StoredEntry {
    StoredString key;
    StoredString text;

    std::size_t Offset() const { return key.offset; }
    std::size_t End() const { return text.offset + text.size; }
};

struct NotesScan {
    bool countRead = false;
    std::int32_t count = 0;
    // The entries the widget reads, in file order: all of them for a file it loads, the ones
    // before the damage otherwise.
    std::vector<StoredEntry> entries;
    std::size_t end = 0; // just after the last entry read (after the count when there is none)
    bool damaged = false;
    std::size_t damageOffset = 0; // where the field that could not be read starts
    std::string damage;           // why it could not be read
    std::size_t unread = 0;       // bytes after the last entry of a file that loads
};

// Reads as the widget's loader does, value for value, and says what it met on the way.
NotesScan ScanNotes(std::string_view bytes);
// The same, handing each entry to `each` instead of keeping it: the result's entries stay empty.
NotesScan ScanNotes(std::string_view bytes, const std::function<void(const StoredEntry&)>& each);

// A notes file holding these entries of `file`, each exactly as it was stored there.
std::string FileOfStoredEntries(std::string_view file, const std::vector<StoredEntry>& entries);

struct Salvaged {
    NotesScan scan;
    std::size_t found = 0;   // entries recovered after the damage, or after what the count covers
    std::size_t skipped = 0; // bytes in that stretch that belong to no recovered entry
    std::string bytes;       // a file the widget loads whole
};

// A note as the tool carries it between the file and the export formats.
struct DiaryEntry {
    std::string key;
    std::string text;
    // The entry's bytes as the file holds them, when the widget's own writer would store this key
    // and text otherwise (the wide form, bytes after a zero, a longer length form); else empty.
    std::string stored;

    friend bool operator==(const DiaryEntry&, const DiaryEntry&) = default;
};

// The bytes the widget writes for one entry.
std::string WrittenEntry(std::string_view key, std::string_view text);
std::vector<DiaryEntry> DiaryEntries(std::string_view file, const std::vector<StoredEntry>& entries);
// A notes file of the entries in order, each in its stored form when it has one.
std::string FileOfDiaryEntries(const std::vector<DiaryEntry>& entries);
// The entry that starts `bytes` (one the scan has read), with its stored form when it has one.
DiaryEntry DiaryEntryAt(std::string_view bytes);
// The entry `stored` holds when it is exactly one whole entry.
std::optional<DiaryEntry> ReadOneEntry(std::string_view stored);

// Every entry the widget reads, then every later entry that starts with a date key (a one-byte
// length 6 and six ASCII digits, or the same in the wide form) followed by a text that fits.
Salvaged Salvage(std::string_view bytes);

} // namespace notes_tool

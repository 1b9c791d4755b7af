// Reading a notes file field by field with offsets, and salvaging what follows a damaged place.
// No character-set literal here: the fuzzing build compiles this file without the GBK setting.
#include "notes_tool/notes_scan.h"

#include "diary/archive.h"
#include "text/gb18030.h"

namespace notes_tool {

namespace {

enum class Fault { kNone, kPrefixCut, kPayloadCut, kTooLong };

struct StringRead {
    Fault fault = Fault::kNone;
    std::uint64_t length = 0; // what the prefix claims, in bytes or (wide) UTF-16 units
    std::size_t left = 0;     // bytes after the prefix
};

bool ReadUInt(std::string_view bytes, std::size_t& pos, std::size_t size, std::uint64_t& value) {
    if (bytes.size() - pos < size) {
        return false;
    }
    value = 0;
    for (std::size_t i = 0; i < size; ++i) {
        value |= std::uint64_t{static_cast<unsigned char>(bytes[pos + i])} << (8 * i);
    }
    pos += size;
    return true;
}

// The loader's reading of a counted string (diary/archive.cpp), step for step, so that every
// file reads to the same values and fails at the same string.
StringRead ReadStored(std::string_view bytes, std::size_t at, StoredString& out) {
    StringRead read;
    out = StoredString{};
    out.offset = at;
    std::size_t pos = at;
    std::uint64_t length = 0;
    if (!ReadUInt(bytes, pos, 1, length)) {
        read.fault = Fault::kPrefixCut;
        return read;
    }
    if (length == 0xFF) {
        if (!ReadUInt(bytes, pos, 2, length)) {
            read.fault = Fault::kPrefixCut;
            return read;
        }
        if (length == 0xFFFE) {
            out.wide = true;
            if (!ReadUInt(bytes, pos, 1, length) || (length == 0xFF && !ReadUInt(bytes, pos, 2, length))) {
                read.fault = Fault::kPrefixCut;
                return read;
            }
        }
        if (length == 0xFFFF) {
            if (!ReadUInt(bytes, pos, 4, length)) {
                read.fault = Fault::kPrefixCut;
                return read;
            }
            if (length == 0xFFFFFFFF) {
                if (!ReadUInt(bytes, pos, 8, length)) {
                    read.fault = Fault::kPrefixCut;
                    return read;
                }
                if (length > 0x7FFFFFFF) {
                    read.fault = Fault::kTooLong;
                    read.length = length;
                    return read;
                }
            }
        }
    }
    read.length = length;
    read.left = bytes.size() - pos;
    const std::uint64_t byteCount = out.wide ? length * 2 : length;
    if (byteCount > read.left) {
        read.fault = Fault::kPayloadCut;
        return read;
    }
    const std::string_view payload = bytes.substr(pos, static_cast<std::size_t>(byteCount));
    if (out.wide) {
        std::u16string units(static_cast<std::size_t>(length), u'\0');
        for (std::size_t i = 0; i < units.size(); ++i) {
            units[i] = static_cast<char16_t>(static_cast<unsigned char>(payload[2 * i]) |
                                             (static_cast<unsigned char>(payload[2 * i + 1]) << 8));
        }
        units.resize(std::min(units.size(), units.find(u'\0')));
        out.value = Gb18030FromUtf16(units);
    } else {
        out.value.assign(payload);
    }
    out.value.resize(std::min(out.value.size(), out.value.find('\0')));
    out.size = pos + payload.size() - at;
    return read;
}

std::string Describe(const StringRead& read, bool wide, const char* what, std::size_t entry) {
    const std::string field = std::string("the ") + what + " of entry " + std::to_string(entry);
    switch (read.fault) {
    case Fault::kPrefixCut:
        return "the length of " + field + " is cut off by the end of the file";
    case Fault::kTooLong:
        return field + " claims a length of " + std::to_string(read.length) +
               ", more than the file format allows (2147483647)";
    case Fault::kPayloadCut:
        if (wide) {
            return field + " needs " + std::to_string(read.length) + " UTF-16 characters (" +
                   std::to_string(read.length * 2) + " bytes) but only " + std::to_string(read.left) +
                   " bytes are left";
        }
        return field + " needs " + std::to_string(read.length) + " bytes but only " +
               std::to_string(read.left) + " are left";
    case Fault::kNone:
        break;
    }
    return {};
}

bool DigitsAt(std::string_view bytes, std::size_t pos, std::size_t step) {
    for (std::size_t k = 0; k < 6; ++k) {
        const char c = bytes[pos + k * step];
        if (c < '0' || c > '9' || (step == 2 && bytes[pos + k * step + 1] != '\0')) {
            return false;
        }
    }
    return true;
}

// An entry whose key looks like one the widget writes, at exactly this place.
bool EntryAt(std::string_view bytes, std::size_t pos, StoredEntry& entry) {
    const std::size_t left = bytes.size() - pos;
    const bool narrowKey = left >= 7 && bytes[pos] == 6 && DigitsAt(bytes, pos + 1, 1);
    const bool wideKey = !narrowKey && left >= 16 &&
                         bytes.substr(pos, 4) == std::string_view("\xFF\xFE\xFF\x06", 4) &&
                         DigitsAt(bytes, pos + 4, 2);
    if (!narrowKey && !wideKey) {
        return false;
    }
    if (ReadStored(bytes, pos, entry.key).fault != Fault::kNone) {
        return false;
    }
    return ReadStored(bytes, pos + entry.key.size, entry.text).fault == Fault::kNone;
}

void AppendInt32(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

} // namespace

NotesScan ScanNotes(std::string_view bytes) {
    return ScanNotes(bytes, nullptr);
}

NotesScan ScanNotes(std::string_view bytes, const std::function<void(const StoredEntry&)>& each) {
    NotesScan scan;
    if (bytes.size() < 4) {
        scan.damaged = true;
        scan.damage = "the file is " + std::to_string(bytes.size()) +
                      " bytes long, too short for the 4-byte count of entries";
        return scan;
    }
    std::size_t pos = 0;
    std::uint64_t count = 0;
    ReadUInt(bytes, pos, 4, count);
    scan.countRead = true;
    scan.count = static_cast<std::int32_t>(static_cast<std::uint32_t>(count));
    scan.end = pos;
    for (std::int32_t i = 0; i < scan.count; ++i) {
        const std::size_t number = static_cast<std::size_t>(i) + 1;
        if (pos == bytes.size()) {
            scan.damaged = true;
            scan.damageOffset = pos;
            scan.damage = "the count says " + std::to_string(scan.count) +
                          " entries but the file ends after " + std::to_string(i);
            return scan;
        }
        StoredEntry entry;
        const StringRead key = ReadStored(bytes, pos, entry.key);
        if (key.fault != Fault::kNone) {
            scan.damaged = true;
            scan.damageOffset = pos;
            scan.damage = Describe(key, entry.key.wide, "key", number);
            return scan;
        }
        const StringRead text = ReadStored(bytes, pos + entry.key.size, entry.text);
        if (text.fault != Fault::kNone) {
            scan.damaged = true;
            scan.damageOffset = entry.text.offset;
            scan.damage = Describe(text, entry.text.wide, "text", number);
            return scan;
        }
        pos = entry.End();
        scan.end = pos;
        if (each) {
            each(entry);
        } else {
            scan.entries.push_back(std::move(entry));
        }
    }
    scan.unread = bytes.size() - scan.end;
    return scan;
}

std::string FileOfStoredEntries(std::string_view file, const std::vector<StoredEntry>& entries) {
    std::size_t size = 4;
    for (const StoredEntry& entry : entries) {
        size += entry.End() - entry.Offset();
    }
    std::string out;
    out.reserve(size);
    AppendInt32(out, static_cast<std::uint32_t>(entries.size()));
    for (const StoredEntry& entry : entries) {
        out.append(file.substr(entry.Offset(), entry.End() - entry.Offset()));
    }
    return out;
}

std::string WrittenEntry(std::string_view key, std::string_view text) {
    std::string out = LengthPrefix(key.size());
    out += key;
    out += LengthPrefix(text.size());
    out += text;
    return out;
}

std::vector<DiaryEntry> DiaryEntries(std::string_view file, const std::vector<StoredEntry>& entries) {
    std::vector<DiaryEntry> out;
    out.reserve(entries.size());
    for (const StoredEntry& entry : entries) {
        DiaryEntry note{entry.key.value, entry.text.value, {}};
        const std::string_view stored = file.substr(entry.Offset(), entry.End() - entry.Offset());
        if (stored != WrittenEntry(note.key, note.text)) {
            note.stored = stored;
        }
        out.push_back(std::move(note));
    }
    return out;
}

std::string FileOfDiaryEntries(const std::vector<DiaryEntry>& entries) {
    std::string out;
    AppendInt32(out, static_cast<std::uint32_t>(entries.size()));
    for (const DiaryEntry& entry : entries) {
        out += entry.stored.empty() ? WrittenEntry(entry.key, entry.text) : entry.stored;
    }
    return out;
}

DiaryEntry DiaryEntryAt(std::string_view bytes) {
    StoredEntry entry;
    ReadStored(bytes, 0, entry.key);
    ReadStored(bytes, entry.key.size, entry.text);
    DiaryEntry note{std::move(entry.key.value), std::move(entry.text.value), {}};
    const std::string_view stored = bytes.substr(0, entry.End());
    if (stored != WrittenEntry(note.key, note.text)) {
        note.stored = stored;
    }
    return note;
}

std::optional<DiaryEntry> ReadOneEntry(std::string_view stored) {
    StoredEntry entry;
    if (ReadStored(stored, 0, entry.key).fault != Fault::kNone ||
        ReadStored(stored, entry.key.size, entry.text).fault != Fault::kNone ||
        entry.End() != stored.size()) {
        return std::nullopt;
    }
    return DiaryEntry{entry.key.value, entry.text.value, std::string(stored)};
}

Salvaged Salvage(std::string_view bytes) {
    Salvaged result;
    result.scan = ScanNotes(bytes);
    std::vector<StoredEntry> entries = result.scan.entries;
    // The entry that could not be read may still start a findable one further on, so the search
    // starts at the entry, not after it. A file too short for its count holds nothing to find.
    std::size_t pos = result.scan.end;
    if (!result.scan.countRead) {
        pos = bytes.size();
    }
    while (pos < bytes.size()) {
        StoredEntry entry;
        if (EntryAt(bytes, pos, entry)) {
            pos = entry.End();
            entries.push_back(std::move(entry));
            ++result.found;
        } else {
            ++pos;
            ++result.skipped;
        }
    }
    result.bytes = FileOfStoredEntries(bytes, entries);
    return result;
}

} // namespace notes_tool

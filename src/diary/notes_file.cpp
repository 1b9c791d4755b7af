// The notes file "nts.ini".
#include "diary/notes_file.h"

#include <cstdint>

namespace {

std::size_t PrefixSize(std::size_t length) {
    return length < 0xFF ? 1 : length < 0xFFFE ? 3 : length < 0xFFFFFFFF ? 7 : 15;
}

} // namespace

namespace {

// Encodes the list, leaving out every entry of `skipKey` when one is given, then appends `extra`.
std::string EncodeEntries(const NoteMap& notes, const std::string_view* skipKey, const NoteEntry* extra) {
    auto kept = [&](const NoteEntry& entry) { return !skipKey || entry.m_strKey != *skipKey; };
    auto entrySize = [](const NoteEntry& entry) {
        return PrefixSize(entry.m_strKey.size()) + entry.m_strKey.size() +
               PrefixSize(entry.m_strText.size()) + entry.m_strText.size();
    };
    // Sized up front: a diary of a hundred megabytes is then written without being copied as it grows.
    std::size_t size = 4;
    std::size_t count = 0;
    for (const NoteEntry& entry : notes) {
        if (kept(entry)) {
            size += entrySize(entry);
            ++count;
        }
    }
    if (extra) {
        size += entrySize(*extra);
        ++count;
    }
    ArchiveWriter writer;
    writer.Reserve(size);
    writer.WriteInt32(static_cast<std::int32_t>(count));
    for (const NoteEntry& entry : notes) {
        if (kept(entry)) {
            writer.WriteString(entry.m_strKey);
            writer.WriteString(entry.m_strText);
        }
    }
    if (extra) {
        writer.WriteString(extra->m_strKey);
        writer.WriteString(extra->m_strText);
    }
    return writer.Take();
}

} // namespace

std::string EncodeNotes(const NoteMap& notes) {
    return EncodeEntries(notes, nullptr, nullptr);
}

std::string EncodeNotesWithNote(const NoteMap& notes, std::string_view key, std::string_view text) {
    if (IsBlankNote(text))
        return EncodeEntries(notes, &key, nullptr);
    const NoteEntry extra{std::string(key), std::string(text)};
    return EncodeEntries(notes, &key, &extra);
}

bool DecodeNotes(std::string_view bytes, NoteMap& notes, const WideToNarrow& toNarrow, std::size_t* unread) {
    notes.Clear();
    ArchiveReader reader(bytes, toNarrow);
    std::int32_t count = 0;
    if (!reader.ReadInt32(count)) {
        return false;
    }
    // Nothing is reserved from the count: a forged one would claim tens of bytes of list and index
    // for every byte of the file before a single entry proved it. The list grows as entries arrive.
    for (std::int32_t i = 0; i < count; ++i) {
        NoteEntry entry;
        if (!reader.ReadString(entry.m_strKey) || !reader.ReadString(entry.m_strText)) {
            return false;
        }
        notes.Append(std::move(entry));
    }
    if (unread) {
        *unread = reader.Remaining();
    }
    return true;
}

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
std::string EncodeEntries(const NoteMap& notes, const std::string_view* skipKey, const NoteView* extra) {
    auto kept = [&](const NoteView& entry) { return !skipKey || entry.m_strKey != *skipKey; };
    auto entrySize = [](const NoteView& entry) {
        return PrefixSize(entry.m_strKey.size()) + entry.m_strKey.size() +
               PrefixSize(entry.m_strText.size()) + entry.m_strText.size();
    };
    // Sized up front: a diary of a hundred megabytes is then written without being copied as it grows.
    std::size_t size = 4;
    std::size_t count = 0;
    for (const NoteView entry : notes) {
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
    for (const NoteView entry : notes) {
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

bool WriteNotes(const NoteMap& notes, const std::function<bool(std::string_view)>& put) {
    constexpr std::size_t kPiece = 1u << 20;
    ArchiveWriter writer;
    writer.Reserve(kPiece + 64);
    writer.WriteInt32(static_cast<std::int32_t>(notes.size()));
    for (const NoteView entry : notes) {
        writer.WriteString(entry.m_strKey);
        writer.WriteString(entry.m_strText);
        if (writer.Bytes().size() >= kPiece) {
            if (!put(writer.Bytes())) {
                return false;
            }
            writer.Clear();
        }
    }
    return put(writer.Bytes());
}

std::string EncodeNotesWithNote(const NoteMap& notes, std::string_view key, std::string_view text) {
    if (IsBlankNote(text))
        return EncodeEntries(notes, &key, nullptr);
    const NoteView extra{key, text};
    return EncodeEntries(notes, &key, &extra);
}

bool DecodeNotes(std::string bytes, NoteMap& notes, const WideToNarrow& toNarrow, std::size_t* unread) {
    const std::string_view block = notes.Adopt(std::move(bytes));
    std::int32_t count = 0;
    // First the entries the bytes really hold are counted, allocating nothing: a forged count then
    // costs nothing, and the list and its index are sized once, for what is there.
    std::size_t proven = 0;
    bool whole = true;
    {
        ArchiveReader reader(block);
        if (!reader.ReadInt32(count)) {
            notes.Clear();
            return false;
        }
        for (std::int32_t i = 0; i < count; ++i) {
            if (!reader.SkipString() || !reader.SkipString()) {
                whole = false;
                break;
            }
            ++proven;
        }
    }
    notes.m_slots.reserve(proven);
    ArchiveReader reader(block, toNarrow);
    reader.ReadInt32(count);
    std::string_view key, text;
    std::string keyConverted, textConverted;
    try {
        for (std::size_t i = 0; i < proven; ++i) {
            reader.ReadText(key, keyConverted);
            reader.ReadText(text, textConverted);
            notes.PushUnindexed(key, text);
        }
        notes.IndexFrom(0);
    } catch (...) {
        // Never a list whose entries the index does not know.
        notes.Clear();
        throw;
    }
    if (!whole) {
        return false;
    }
    if (unread) {
        *unread = reader.Remaining();
    }
    return true;
}

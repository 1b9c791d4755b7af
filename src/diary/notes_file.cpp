// The notes file "nts.ini".
#include "diary/notes_file.h"

#include <algorithm>
#include <cstdint>

namespace {

std::size_t PrefixSize(std::size_t length) {
    return length < 0xFF ? 1 : length < 0xFFFE ? 3 : length < 0xFFFFFFFF ? 7 : 15;
}

} // namespace

std::string EncodeNotes(const NoteMap& notes) {
    // Sized up front: a diary of a hundred megabytes is then written without being copied as it grows.
    std::size_t size = 4;
    for (const NoteEntry& entry : notes) {
        size += PrefixSize(entry.m_strKey.size()) + entry.m_strKey.size() +
                PrefixSize(entry.m_strText.size()) + entry.m_strText.size();
    }
    ArchiveWriter writer;
    writer.Reserve(size);
    writer.WriteInt32(static_cast<std::int32_t>(notes.size()));
    for (const NoteEntry& entry : notes) {
        writer.WriteString(entry.m_strKey);
        writer.WriteString(entry.m_strText);
    }
    return writer.Take();
}

bool DecodeNotes(std::string_view bytes, NoteMap& notes, const WideToNarrow& toNarrow) {
    notes.Clear();
    ArchiveReader reader(bytes, toNarrow);
    std::int32_t count = 0;
    if (!reader.ReadInt32(count)) {
        return false;
    }
    // Every entry takes at least its two length bytes, so a forged count reserves no more than a
    // genuine file of this size would need.
    if (count > 0) {
        notes.Reserve(std::min<std::size_t>(static_cast<std::size_t>(count), reader.Remaining() / 2));
    }
    for (std::int32_t i = 0; i < count; ++i) {
        NoteEntry entry;
        if (!reader.ReadString(entry.m_strKey) || !reader.ReadString(entry.m_strText)) {
            return false;
        }
        notes.Append(std::move(entry));
    }
    return true;
}

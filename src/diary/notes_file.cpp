// The notes file "nts.ini".
#include "diary/notes_file.h"

#include <algorithm>
#include <cstdint>

std::string EncodeNotes(const NoteMap& notes) {
    ArchiveWriter writer;
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

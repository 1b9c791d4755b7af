// The notes file "nts.ini".
#include "diary/notes_file.h"

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
    // The count is never used to reserve: a forged one must not cost memory.
    for (std::int32_t i = 0; i < count; ++i) {
        NoteEntry entry;
        if (!reader.ReadString(entry.m_strKey) || !reader.ReadString(entry.m_strText)) {
            return false;
        }
        notes.Append(std::move(entry));
    }
    return true;
}

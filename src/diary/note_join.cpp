// Joining two texts of one day.
#include "diary/note_join.h"

bool HoldsNotePart(std::string_view note, std::string_view part) {
    const std::string_view separator = kNotePartSeparator;
    for (;;) {
        const std::size_t at = note.find(separator);
        if (note.substr(0, at) == part)
            return true;
        if (at == std::string_view::npos)
            return false;
        note.remove_prefix(at + separator.size());
    }
}

std::string JoinNoteParts(std::string_view existing, std::string_view incoming) {
    if (HoldsNotePart(existing, incoming))
        return std::string(existing);
    std::string joined;
    joined.reserve(existing.size() + sizeof kNotePartSeparator + incoming.size());
    joined.append(existing).append(kNotePartSeparator).append(incoming);
    return joined;
}

// Filing imported notes with the window's own rule.
#include "notes_tool/filing.h"

#include "diary/note_join.h"
#include "diary/notes_file.h"
#include "notes_tool/export_formats.h"

namespace notes_tool {

std::optional<OnConflict> OnConflictOfName(std::string_view name) {
    if (name == "keep") {
        return OnConflict::kKeep;
    }
    if (name == "replace") {
        return OnConflict::kReplace;
    }
    if (name == "append") {
        return OnConflict::kAppend;
    }
    return std::nullopt;
}

std::string FileNotes(const std::vector<DiaryEntry>& target, const std::vector<DiaryEntry>& incoming,
                      OnConflict onConflict, FilingCounts& counts) {
    if (target.empty()) {
        counts.restored = incoming.size();
        return FileOfDiaryEntries(incoming);
    }
    NoteMap notes;
    notes.Reserve(target.size() + incoming.size());
    for (const DiaryEntry& entry : target) {
        notes.Append({entry.key, entry.text});
    }
    for (const DiaryEntry& entry : incoming) {
        const std::string existing = notes.GetNote(entry.key);
        const bool blank = IsBlankNote(entry.text);
        if (IsBlankNote(existing)) {
            // The day shows no note: nothing to lose, the window's rule alone decides.
            if (blank) {
                ++counts.blank;
            } else {
                notes.SetNote(entry.key, entry.text);
                ++counts.added;
            }
        } else if (existing == entry.text) {
            ++counts.unchanged;
        } else if (onConflict == OnConflict::kReplace) {
            notes.SetNote(entry.key, entry.text);
            ++(blank ? counts.deleted : counts.replaced);
        } else if (onConflict == OnConflict::kKeep || blank) {
            ++counts.kept;
        } else if (HoldsNotePart(existing, entry.text)) {
            ++counts.unchanged;
        } else {
            notes.SetNote(entry.key, JoinNoteParts(existing, entry.text));
            ++counts.appended;
        }
    }
    return EncodeNotes(notes);
}

} // namespace notes_tool

// Filing imported notes into a diary with the widget's own rule, and what to do when a day already
// holds a different note.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "notes_tool/notes_scan.h"

namespace notes_tool {

enum class OnConflict { kKeep, kReplace, kAppend };

std::optional<OnConflict> OnConflictOfName(std::string_view name);

struct FilingCounts {
    std::size_t restored = 0;  // entries copied as they are into a diary that had none
    std::size_t added = 0;     // notes of days that had none
    std::size_t unchanged = 0; // the day already held this very note (or, appending, held it as a part)
    std::size_t replaced = 0;
    std::size_t appended = 0;
    std::size_t kept = 0;    // a different note was there and stays
    std::size_t deleted = 0; // a blank imported text removed the day's note
    std::size_t blank = 0;   // blank imported texts for days without a note: nothing to do
};

// The notes file after filing `incoming`, one entry after the other in order, into `target`.
//
// Into a diary that holds no entries, the entries are copied as they are, duplicates, blank texts
// and stored forms included: importing an export into an empty file gives the file back.
// Otherwise each entry is filed as the window files a typed note (every entry of the key goes, the
// text is appended, a blank text deletes) when the day holds no note or this same one; when it
// holds a different note, `keep` leaves it, `replace` files the imported text, and `append` files
// the old note, a line "----" and the imported text, unless the old note already holds the
// imported text as one of its "----" parts (so merging the same diaries twice changes nothing).
std::string FileNotes(const std::vector<DiaryEntry>& target, const std::vector<DiaryEntry>& incoming,
                      OnConflict onConflict, FilingCounts& counts);

} // namespace notes_tool

// The notes file "nts.ini": a count, then a key and a text string per note, in list order.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "diary/archive.h"
#include "diary/note_map.h"

// In the temporary folder, and the safety copy's name in the safety folder.
inline constexpr wchar_t kNotesFileName[] = L"nts.ini";

std::string EncodeNotes(const NoteMap& notes);
// The same bytes handed to `put` in pieces of about a megabyte, none kept after it, so a big diary
// is saved without being held twice; false once `put` refused one (the pieces stop there).
bool WriteNotes(const NoteMap& notes, const std::function<bool(std::string_view)>& put);
// The bytes EncodeNotes would give after SetNote(key, text), without copying or changing the list:
// what the crash journal saves while the user is still typing.
std::string EncodeNotesWithNote(const NoteMap& notes, std::string_view key, std::string_view text);

// Empties the list, then appends the file's entries as they come (duplicates and blank texts
// included). False when the bytes end early or hold an impossible length; the entries read
// before that stay in the list. A count of zero or below is an empty list; bytes after the last
// entry are not read, and *unread (when given) says how many there are: a file whose count is
// wrong still loads, but holds more than the list.
// Memory grows with the entries actually read, never with what the count claims. The list keeps
// the bytes as its block and its entries point into them.
bool DecodeNotes(std::string bytes, NoteMap& notes, const WideToNarrow& toNarrow = {},
                 std::size_t* unread = nullptr);
// The same over bytes the caller keeps: the list takes a copy of them.
inline bool DecodeNotes(std::string_view bytes, NoteMap& notes, const WideToNarrow& toNarrow = {},
                        std::size_t* unread = nullptr) {
    return DecodeNotes(std::string(bytes), notes, toNarrow, unread);
}

// What the diary keeper's start and its saves both read the safety folder with: the names its
// files go by, a notes file loaded as far as it reads, and the rule that keeps a copy aside.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "diary/note_map.h"
#include "files/file_store.h"

namespace keeper {

inline constexpr std::wstring_view kLegacyPrefix = L"legacy-";
inline constexpr std::wstring_view kKeptPrefix = L"kept-";

bool StartsWith(std::wstring_view text, std::wstring_view prefix);
FsPath NameOf(const FsPath& path);
FsPath Decimal(std::uint64_t value);
// The folder's names, sorted; none when it cannot be listed.
std::vector<FsPath> Names(FileSystem& fs, const FsPath& folder);

// A copy of the notes this program made: the safety copy, a dated copy, or one of those taken over
// from the shared folder of older versions.
bool IsNotesCopyName(std::wstring_view name);
// A whole diary as an older version's journal held it.
bool IsLegacyJournalName(std::wstring_view name);
// A file beside its target that a save of ours wrote and did not move into place: never a source.
bool IsOwnStrayName(std::wstring_view name);

enum class Loaded { kMissing, kLoadable, kPartial, kDamaged };
Loaded LoadNotesBytes(FileSystem& fs, const FsPath& path, NoteMap& notes, const WideToNarrow& toNarrow,
                      std::uint64_t* hash);
inline bool Loads(Loaded loaded) {
    return loaded == Loaded::kLoadable || loaded == Loaded::kPartial;
}

// Notes of a file that the diary does not hold with the same text; -1 when it is no whole diary.
int NotesBeyond(FileSystem& fs, const FsPath& path, const NoteMap& diary, const WideToNarrow& toNarrow);
// True when every note the bytes hold is in the diary with the same text (or as one of its parts):
// the diary then loses nothing when the file goes. False for bytes that are no whole diary.
bool HeldBy(std::string bytes, const NoteMap& diary, const WideToNarrow& toNarrow);
// Another copy's notes brought into the diary by content alone: a day only one of them holds is
// taken, a text that went on from the other's replaces it, and two different texts are joined.
void MergeByContent(NoteMap& into, const NoteMap& from);
// A copy the program keeps aside instead of replacing: "kept-<stamp>-<name>", never overwriting.
bool KeepCopy(FileSystem& fs, const FsPath& folder, const FsPath& name, std::string_view stamp,
              const FsPath& source = FsPath());
// What interrupted or refused saves left beside the notes file ("nts.ini.new-N").
std::vector<FsPath> LeftoversOfNotes(FileSystem& fs, const FsPath& notesFile);

} // namespace keeper

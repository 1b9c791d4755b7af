// The safety folder's names and the reading of a notes file, shared by the keeper's start and saves.
#include "safety/keeper_files.h"

#include <algorithm>

#include "diary/note_join.h"
#include "diary/notes_file.h"
#include "safety/content_hash.h"
#include "safety/manifest.h"
#include "safety/safety_store.h"

namespace keeper {

bool StartsWith(std::wstring_view text, std::wstring_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

FsPath NameOf(const FsPath& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == FsPath::npos ? path : path.substr(slash + 1);
}

FsPath Decimal(std::uint64_t value) {
    const std::string digits = std::to_string(value);
    return FsPath(digits.begin(), digits.end());
}

std::vector<FsPath> Names(FileSystem& fs, const FsPath& folder) {
    std::vector<FsPath> names;
    if (!folder.empty() && fs.ListFolder(folder, names) != FileError::kNone)
        names.clear();
    std::sort(names.begin(), names.end());
    return names;
}

bool IsNotesCopyName(std::wstring_view name) {
    if (StartsWith(name, kLegacyPrefix))
        name.remove_prefix(kLegacyPrefix.size());
    return name == kNotesFileName || ParseDatedCopyName(name).has_value();
}

bool IsLegacyJournalName(std::wstring_view name) {
    return StartsWith(name, kLegacyPrefix) && ParseJournalName(name.substr(kLegacyPrefix.size())).has_value();
}

Loaded LoadNotesBytes(FileSystem& fs, const FsPath& path, NoteMap& notes, const WideToNarrow& toNarrow,
                      std::uint64_t* hash) {
    try {
        notes.Clear();
        std::string bytes;
        const FileError error = LoadFile(fs, path, bytes);
        if (error == FileError::kNotFound)
            return Loaded::kMissing;
        if (hash)
            *hash = ContentHash(bytes);
        std::size_t unread = 0;
        if (error != FileError::kNone || !DecodeNotes(std::move(bytes), notes, toNarrow, &unread)) {
            notes.Clear();
            return Loaded::kDamaged;
        }
        return unread ? Loaded::kPartial : Loaded::kLoadable;
    } catch (...) {
        // Out of memory half-way through a large diary is no reason to lose it: the file counts as
        // unreadable, so it is kept aside before anything replaces it.
        notes.Clear();
        return Loaded::kDamaged;
    }
}

int NotesBeyond(FileSystem& fs, const FsPath& path, const NoteMap& diary, const WideToNarrow& toNarrow) {
    NoteMap kept;
    if (LoadNotesBytes(fs, path, kept, toNarrow, nullptr) != Loaded::kLoadable)
        return -1;
    int beyond = 0;
    for (const NoteView entry : kept) {
        if (IsBlankNote(entry.m_strText) || kept.FindNote(entry.m_strKey) != entry.m_strText)
            continue;
        const std::string_view held = diary.FindNote(entry.m_strKey);
        if (held != entry.m_strText && !HoldsNotePart(held, entry.m_strText))
            ++beyond;
    }
    return beyond;
}

bool HeldBy(std::string bytes, const NoteMap& diary, const WideToNarrow& toNarrow) {
    try {
        NoteMap kept;
        std::size_t unread = 0;
        if (!DecodeNotes(std::move(bytes), kept, toNarrow, &unread) || unread)
            return false;
        for (const NoteView entry : kept) {
            if (IsBlankNote(entry.m_strText) || kept.FindNote(entry.m_strKey) != entry.m_strText)
                continue;
            const std::string_view held = diary.FindNote(entry.m_strKey);
            if (held != entry.m_strText && !HoldsNotePart(held, entry.m_strText))
                return false;
        }
        return true;
    } catch (...) {
        return false;
    }
}

void MergeByContent(NoteMap& into, const NoteMap& from) {
    for (const NoteView entry : from) {
        const std::string_view text = entry.m_strText;
        if (IsBlankNote(text) || from.FindNote(entry.m_strKey) != text)
            continue;
        const std::string held(into.FindNote(entry.m_strKey));
        if (held == text || HoldsNotePart(held, text) || held.substr(0, text.size()) == text)
            continue;
        if (IsBlankNote(held) || text.substr(0, held.size()) == held)
            into.SetNote(entry.m_strKey, text);
        else
            into.SetNote(entry.m_strKey, JoinNoteParts(held, text));
    }
}

bool KeepCopy(FileSystem& fs, const FsPath& folder, const FsPath& name, std::string_view stamp,
              const FsPath& source) {
    const FsPath from = source.empty() ? folder + name : source;
    if (!fs.Exists(from))
        return true;
    const FsPath base = folder + FsPath(kKeptPrefix) + FsPath(stamp.begin(), stamp.end()) + L"-";
    for (int n = 1; n <= 1000; ++n) {
        const FsPath target =
            base + (n == 1 ? FsPath() : Decimal(static_cast<std::uint64_t>(n)) + L"-") + name;
        const FileError error = fs.CopyNew(from, target);
        if (error == FileError::kNone)
            return true;
        if (error != FileError::kExists)
            return false;
    }
    return false;
}

bool IsOwnStrayName(std::wstring_view name) {
    for (const std::wstring_view target :
         {std::wstring_view(kNotesFileName), std::wstring_view(kManifestName)}) {
        if (IsLeftoverName(name, target))
            return true;
    }
    const std::size_t dot = name.find(L".ini.new-");
    return dot != std::wstring_view::npos && ParseDatedCopyName(name.substr(0, dot + 4)).has_value() &&
           IsLeftoverName(name, name.substr(0, dot + 4));
}

std::vector<FsPath> LeftoversOfNotes(FileSystem& fs, const FsPath& notesFile) {
    std::vector<FsPath> leftovers;
    const std::size_t slash = notesFile.find_last_of(L"\\/");
    if (slash == FsPath::npos)
        return leftovers;
    const FsPath folder = notesFile.substr(0, slash + 1);
    const FsPath file = notesFile.substr(slash + 1);
    for (const FsPath& name : Names(fs, folder)) {
        if (IsLeftoverName(name, file))
            leftovers.push_back(folder + name);
    }
    return leftovers;
}

} // namespace keeper

// The diary's safety: its folder, the start's choice of source, the journal and the save's copies.
#include "safety/diary_keeper.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <map>

#include "diary/note_join.h"
#include "diary/notes_file.h"
#include "safety/safety_store.h"
#include "safety/content_hash.h"

namespace {

constexpr std::wstring_view kLegacyPrefix = L"legacy-";
constexpr std::wstring_view kKeptPrefix = L"kept-";

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

// A copy of the notes this program made: the safety copy, a dated copy, or one of those taken over
// from the shared folder of older versions.
bool IsNotesCopyName(std::wstring_view name) {
    if (StartsWith(name, kLegacyPrefix))
        name.remove_prefix(kLegacyPrefix.size());
    return name == kNotesFileName || ParseDatedCopyName(name).has_value();
}

// A whole diary as an older version's journal held it.
bool IsLegacyJournalName(std::wstring_view name) {
    return StartsWith(name, kLegacyPrefix) && ParseJournalName(name.substr(kLegacyPrefix.size())).has_value();
}

enum class Loaded { kMissing, kLoadable, kPartial, kDamaged };

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

bool Loads(Loaded loaded) {
    return loaded == Loaded::kLoadable || loaded == Loaded::kPartial;
}

// Notes of a file that the diary does not hold with the same text; -1 when it is no whole diary.
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

// True when every note the bytes hold is in the diary with the same text (or as one of its parts):
// the diary then loses nothing when the file goes. False for bytes that are no whole diary.
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

// Another copy's notes brought into the diary by content alone: a day only one of them holds is
// taken, a text that went on from the other's replaces it, and two different texts are joined.
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

// A copy the program keeps aside instead of replacing: "kept-<stamp>-<name>", never overwriting.
bool KeepCopy(FileSystem& fs, const FsPath& folder, const FsPath& name, std::string_view stamp,
              const FsPath& source = FsPath()) {
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

// A file beside its target that a save of ours wrote and did not move into place: never a source.
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

// What interrupted or refused saves left beside the notes file ("nts.ini.new-N").
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

} // namespace

std::uint64_t DiaryTag(std::wstring_view identity) {
    return ContentHash(Utf8FromWidePath(identity));
}

FsPath DiaryFolderUnder(const FsPath& root, std::uint64_t tag, int attempt) {
    const std::string hex = HashHex(tag);
    FsPath folder = root + L"diary-" + FsPath(hex.begin(), hex.end());
    if (attempt > 0)
        folder += L"-" + Decimal(static_cast<std::uint64_t>(attempt));
    return folder + L"\\";
}

DiaryKeeper::DiaryKeeper(FileSystem& fs, DiaryPlace place, RunStamp run, WideToNarrow toNarrow)
    : m_fs(fs), m_place(std::move(place)), m_run(run), m_toNarrow(std::move(toNarrow)),
      m_tag(DiaryTag(m_place.identity)), m_journal(fs, FsPath(), JournalHeader{}) {
    if (!m_place.formerIdentity.empty() && DiaryTag(m_place.formerIdentity) != m_tag)
        m_formerTag = DiaryTag(m_place.formerIdentity);
}

std::vector<FsPath> DiaryKeeper::AllFolders() const {
    std::vector<FsPath> folders;
    if (!m_folder.empty())
        folders.push_back(m_folder);
    folders.insert(folders.end(), m_otherFolders.begin(), m_otherFolders.end());
    folders.insert(folders.end(), m_formerFolders.begin(), m_formerFolders.end());
    return folders;
}

void DiaryKeeper::FindFolder() {
    m_folder.clear();
    m_otherFolders.clear();
    m_formerFolders.clear();
    for (const FsPath& root : m_place.safetyRoots) {
        // The folder of this diary under the root: the one whose manifest names this diary, or a
        // folder no other diary's manifest claims (only a collision of tags gives a second try).
        FsPath mine;
        for (int attempt = 0; attempt < 4 && mine.empty(); ++attempt) {
            const FsPath folder = DiaryFolderUnder(root, m_tag, attempt);
            std::string bytes;
            if (m_fs.ReadAll(folder + kManifestName, bytes) == FileError::kNone) {
                // Only a diary whose identity gives the same tag can own this folder: a manifest
                // naming any other was copied in, and the journal and copies here are still ours.
                const std::optional<Manifest> manifest = DecodeManifest(bytes);
                if (manifest && !manifest->folder.empty() && manifest->folder != m_place.identity &&
                    manifest->folder != m_place.formerIdentity && DiaryTag(manifest->folder) == m_tag)
                    continue;
            }
            mine = folder;
        }
        if (mine.empty())
            continue;
        if (m_folder.empty() && m_fs.MakeFolders(mine) == FileError::kNone)
            m_folder = mine;
        else
            m_otherFolders.push_back(mine);
        // Where an older version, naming the folder by its path, kept this diary: read, not written.
        if (m_formerTag != 0) {
            const FsPath former = DiaryFolderUnder(root, m_formerTag);
            std::string bytes;
            if (m_fs.ReadAll(former + kManifestName, bytes) == FileError::kNone) {
                const std::optional<Manifest> manifest = DecodeManifest(bytes);
                if (manifest && manifest->folder == m_place.formerIdentity)
                    m_formerFolders.push_back(former);
            }
        }
    }
}

int DiaryKeeper::TakeLegacy(const RunIsAlive& isAlive) {
    if (m_folder.empty() || m_place.safetyRoots.empty())
        return 0;
    const FsPath& shared = m_place.safetyRoots.front();
    if (m_folder.compare(0, shared.size(), shared) != 0)
        return 0;
    int taken = 0;
    for (const FsPath& name : Names(m_fs, shared)) {
        bool take = name == kNotesFileName || ParseDatedCopyName(name) ||
                    IsLeftoverName(name, kNotesFileName) || StartsWith(name, L"kept-journal-") ||
                    StartsWith(name, L"discarded-journal-") ||
                    StartsWith(name, FsPath(kNotesFileName) + L".unreadable-");
        if (const std::optional<RunId> run = ParseJournalName(name))
            take = !isAlive || !isAlive(RunStamp{run->pid, run->started});
        if (name == L"qlw.ini" && !m_fs.Exists(m_folder + L"qlw.ini")) {
            if (m_fs.Replace(shared + name, m_folder + name) == FileError::kNone)
                ++taken;
            continue;
        }
        if (!take)
            continue;
        // Moved, never copied: a file another diary could also take would serve two diaries.
        FsPath target = m_folder + FsPath(kLegacyPrefix) + name;
        for (int n = 2; m_fs.Exists(target) && n < 1000; ++n)
            target = m_folder + FsPath(kLegacyPrefix) + Decimal(static_cast<std::uint64_t>(n)) + L"-" + name;
        if (!m_fs.Exists(target) && m_fs.Replace(shared + name, target) == FileError::kNone)
            ++taken;
    }
    return taken;
}

void DiaryKeeper::LoadCopy(NoteMap& notes, StartReport& report) {
    struct Candidate {
        FsPath path;
        bool known = false;
        std::uint64_t generation = 0;
        std::uint64_t hash = 0;
    };
    std::vector<Candidate> candidates;
    for (const FsPath& folder : AllFolders()) {
        for (const FsPath& name : Names(m_fs, folder)) {
            if (!IsNotesCopyName(name))
                continue;
            std::string bytes;
            if (m_fs.ReadAll(folder + name, bytes) != FileError::kNone)
                continue;
            Candidate candidate{folder + name, false, 0, ContentHash(bytes)};
            // Known only while the bytes are still the ones the manifest recorded for that name: a
            // copy truncated or rewritten by another program is no longer the save it was.
            if (folder == m_folder) {
                for (const ManifestCopy& copy : m_manifest.copies) {
                    if (copy.name == name && copy.hash == candidate.hash && copy.size == bytes.size() &&
                        (!candidate.known || copy.generation > candidate.generation)) {
                        candidate.known = true;
                        candidate.generation = copy.generation;
                    }
                }
            }
            candidates.push_back(std::move(candidate));
        }
    }
    // The latest save the manifest vouches for first. Copies it cannot vouch for are ranked by
    // nothing: neither size nor time nor name says which is newer, so they are taken together.
    std::stable_sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        if (a.known != b.known)
            return a.known;
        return a.known ? a.generation > b.generation : a.hash < b.hash;
    });
    notes.Clear();
    std::vector<std::uint64_t> taken;
    auto take = [&](const Candidate& candidate) {
        if (std::find(taken.begin(), taken.end(), candidate.hash) != taken.end())
            return true;
        NoteMap read;
        std::uint64_t hash = 0;
        const Loaded loaded = LoadNotesBytes(m_fs, candidate.path, read, m_toNarrow, &hash);
        if (loaded == Loaded::kDamaged || loaded == Loaded::kPartial)
            m_keepAside.push_back(candidate.path);
        if (!Loads(loaded))
            return false;
        if (taken.empty()) {
            notes = std::move(read);
            report.loadedFrom = candidate.path;
        } else {
            MergeByContent(notes, read);
        }
        taken.push_back(hash);
        return true;
    };
    std::size_t i = 0;
    for (; i < candidates.size() && candidates[i].known; ++i) {
        if (!take(candidates[i]))
            continue;
        // Two saves at the highest generation can only follow a generation that stopped growing:
        // both are taken.
        for (std::size_t j = i + 1; j < candidates.size() && candidates[j].known &&
                                    candidates[j].generation == candidates[i].generation;
             ++j)
            take(candidates[j]);
        break;
    }
    if (taken.empty()) {
        for (; i < candidates.size(); ++i)
            take(candidates[i]);
    }
    if (taken.empty())
        return;
    report.source = NotesSource::kSafetyCopy;
    // A diary made of several files is the bytes of none of them: every journal applies by content.
    m_loadedHash = taken.size() == 1 ? taken.front() : 0;
}

void DiaryKeeper::TakeJournals(NoteMap& notes, StartReport& report, const RunIsAlive& isAlive) {
    std::vector<JournalFile> journals;
    std::vector<FsPath> paths;
    // The id a journal that lost its header had, by its index: read back from its name.
    std::map<std::size_t, std::uint64_t> formerIds;
    for (const FsPath& folder : AllFolders()) {
        for (const FsPath& name : Names(m_fs, folder)) {
            if (IsEditJournalName(name)) {
                std::string bytes;
                if (m_fs.ReadAll(folder + name, bytes) != FileError::kNone)
                    continue;
                JournalFile journal = DecodeJournal(bytes);
                std::optional<std::uint64_t> formerId;
                if (!journal.valid && !journal.records.empty()) {
                    // Its header was lost, but it lies in this diary's own folder: the run that wrote
                    // it is read from its name, and it is applied by content, after nothing.
                    unsigned long long pid = 0, started = 0;
                    int segment = -1;
                    const std::string narrow(name.begin(), name.end());
                    if (std::sscanf(narrow.c_str(), "journal-%llu-%llu-%d", &pid, &started, &segment) < 2)
                        continue;
                    if (segment >= 0)
                        formerId =
                            JournalSegmentId(JournalRunId(static_cast<std::uint32_t>(pid), started), segment);
                    journal.valid = true;
                    journal.header.pid = static_cast<std::uint32_t>(pid);
                    journal.header.started = started;
                    journal.header.diaryTag = m_tag;
                    // Its place in the order is lost with its header: it goes first, as the oldest
                    // a journal can be, so that what later journals hold is applied over it.
                    journal.header.id = 0;
                }
                // A journal of another diary (copied in by hand) or of a run still going is not ours
                // to take; which run wrote it is read from the file, not its name.
                const bool ours = journal.header.diaryTag == m_tag ||
                                  (m_formerTag != 0 && journal.header.diaryTag == m_formerTag);
                if (!journal.valid || !ours ||
                    (isAlive && isAlive(RunStamp{journal.header.pid, journal.header.started})))
                    continue;
                if (formerId)
                    formerIds[journals.size()] = *formerId;
                journals.push_back(std::move(journal));
                paths.push_back(folder + name);
            } else if (IsLegacyJournalName(name)) {
                // An older version journalled the whole diary: each day it holds differently from the
                // diary read is kept beside that day's text, unless the diary's text only went on
                // from it.
                NoteMap whole;
                if (!Loads(LoadNotesBytes(m_fs, folder + name, whole, m_toNarrow, nullptr)))
                    continue;
                for (const NoteView entry : whole) {
                    if (IsBlankNote(entry.m_strText) || whole.FindNote(entry.m_strKey) != entry.m_strText)
                        continue;
                    const std::string_view held = notes.FindNote(entry.m_strKey);
                    if (held == entry.m_strText ||
                        held.substr(0, entry.m_strText.size()) == entry.m_strText ||
                        HoldsNotePart(held, entry.m_strText))
                        continue;
                    if (IsBlankNote(held)) {
                        notes.SetNote(entry.m_strKey, entry.m_strText);
                        ++report.edits.applied;
                    } else {
                        notes.SetNote(entry.m_strKey, JoinNoteParts(held, entry.m_strText));
                        ++report.edits.joined;
                    }
                }
                m_applied.push_back(folder + name);
                ++report.journals;
            }
        }
    }
    // A journal that lost its header, followed by one that marks a save of the file read, was taken
    // in by that save's run: it stays to be settled, but nothing of it applies again over the save.
    std::map<FsPath, std::uint64_t> formerIdOf;
    for (const auto& [index, formerId] : formerIds) {
        formerIdOf[paths[index]] = formerId;
        const bool held = std::any_of(journals.begin(), journals.end(), [&](const JournalFile& j) {
            return j.header.id != 0 &&
                   std::find(j.header.follows.begin(), j.header.follows.end(), formerId) !=
                       j.header.follows.end() &&
                   std::any_of(j.records.begin(), j.records.end(), [&](const JournalRecord& r) {
                       return r.kind == JournalRecordKind::kSaved && r.savedHash == m_loadedHash;
                   });
        });
        if (held)
            journals[index].records.clear();
    }
    // Kept in the order they apply in: a save marks them settled in that order, so a run cut off
    // part-way leaves only journals whose predecessors are marked too.
    std::vector<JournalFile> ordered;
    std::vector<FsPath> orderedPaths;
    for (const std::size_t i : JournalOrder(journals)) {
        ordered.push_back(std::move(journals[i]));
        orderedPaths.push_back(paths[i]);
    }
    journals = std::move(ordered);
    paths = std::move(orderedPaths);
    const JournalApplyReport applied = ApplyJournals(journals, notes, m_loadedHash);
    report.edits.applied += applied.applied;
    report.edits.joined += applied.joined;
    report.edits.kept += applied.kept;
    report.journals += static_cast<int>(journals.size());
    std::vector<std::uint64_t> follows;
    for (std::size_t i = 0; i < journals.size(); ++i) {
        // A journal that lost its header is named by the id it had, so a save of this run vouches
        // for it.
        const auto former = formerIdOf.find(paths[i]);
        const std::uint64_t id = former != formerIdOf.end() ? former->second : journals[i].header.id;
        follows.push_back(id);
        m_appliedIds[paths[i]] = id;
    }
    m_journal.SetFollows(std::move(follows));
    m_applied.insert(m_applied.end(), paths.begin(), paths.end());
}

StartReport DiaryKeeper::Start(NoteMap& notes, const RunIsAlive& isAlive) {
    StartReport report;
    FindFolder();
    report.legacyTaken = TakeLegacy(isAlive);
    if (!m_folder.empty()) {
        std::string bytes;
        if (m_fs.ReadAll(m_folder + kManifestName, bytes) == FileError::kNone) {
            // A manifest of another diary vouches for nothing here.
            std::optional<Manifest> manifest = DecodeManifest(bytes);
            if (manifest && (manifest->folder.empty() || manifest->folder == m_place.identity))
                m_manifest = std::move(*manifest);
        }
    }
    m_manifest.folder = m_place.identity;
    JournalHeader header;
    header.pid = m_run.pid;
    header.started = m_run.started;
    header.id = JournalRunId(m_run.pid, m_run.started);
    header.diaryTag = m_tag;
    m_journal = EditJournal(m_fs, m_folder, header);
    {
        std::vector<FsPath> homes{m_folder};
        homes.insert(homes.end(), m_otherFolders.begin(), m_otherFolders.end());
        m_journal.SetHomes(std::move(homes));
    }

    notes.Clear();
    const Loaded temp = m_place.tempNotes.empty()
                            ? Loaded::kMissing
                            : LoadNotesBytes(m_fs, m_place.tempNotes, notes, m_toNarrow, &m_loadedHash);
    m_keepTempAside = temp == Loaded::kDamaged || temp == Loaded::kPartial;
    if (Loads(temp)) {
        report.source = NotesSource::kTempFile;
        report.loadedFrom = m_place.tempNotes;
        // Not what the last save wrote (restored from a backup, replaced by another program): the
        // copy of that save is kept aside before this diary's save replaces it.
        m_keepCopyAside = m_manifest.generation > 0 && m_loadedHash != m_manifest.hash;
        m_tempHash = m_loadedHash;
    } else {
        LoadCopy(notes, report);
    }
    report.keepTempAside = m_keepTempAside;
    TakeJournals(notes, report, isAlive);
    return report;
}

bool DiaryKeeper::Record(std::string_view key, std::string_view text, const NoteMap& notes) {
    return m_journal.Record(key, text, notes);
}

StagedCopies DiaryKeeper::StageCopies(FileSystem& fs, const FsPath& folder, std::string_view bytes,
                                      int today) {
    StagedCopies staged;
    if (folder.empty())
        return staged;
    if (WriteBeside(fs, folder + kNotesFileName, bytes, staged.copy) != FileError::kNone)
        staged.copy.clear();
    // A copy of its own, not a second name of the safety copy: whatever rewrites one in place must
    // leave the other as it was.
    if (WriteBeside(fs, folder + DatedCopyName(today), bytes, staged.dated) != FileError::kNone)
        staged.dated.clear();
    return staged;
}

void DiaryKeeper::WriteManifest() {
    WriteSafetyFile(m_fs, m_folder + kManifestName, EncodeManifest(m_manifest));
}

bool DiaryKeeper::MayReplace(const FsPath& name, const NoteMap& notes, std::string_view stamp,
                             const Manifest& vouching) {
    std::string bytes;
    const FileError error = m_fs.ReadAll(m_folder + name, bytes);
    if (error == FileError::kNotFound)
        return true;
    if (error == FileError::kNone) {
        const std::uint64_t hash = ContentHash(bytes);
        for (const ManifestCopy& copy : vouching.copies) {
            if (copy.name == name && copy.size == bytes.size() && copy.hash == hash)
                return true;
        }
        if (HeldBy(std::move(bytes), notes, m_toNarrow))
            return true;
    }
    return KeepCopy(m_fs, m_folder, name, stamp);
}

int DiaryKeeper::SettleKept(const NoteMap& notes) {
    int removed = 0;
    for (const KeptItem& item : KeptItemsOf(m_fs, m_folder, notes, m_toNarrow)) {
        // A kept file goes once every note it holds is in the saved diary with the same text.
        if (item.notesBeyond == 0 && RemoveFile(m_fs, item.path) == FileError::kNone)
            ++removed;
    }
    return removed;
}

SaveReport DiaryKeeper::Save(const NoteMap& notes, std::string_view bytes, int today, std::string_view stamp,
                             const std::function<StagedCopies()>& waitForStaged) {
    SaveReport report;
    const std::uint64_t hash = ContentHash(bytes);
    // A generation that reached the top stays there: wrapped round it would rank below every save.
    const std::uint64_t generation = m_manifest.generation == std::numeric_limits<std::uint64_t>::max()
                                         ? m_manifest.generation
                                         : m_manifest.generation + 1;
    // Every journal whose edits these bytes hold says so before the bytes are written: a run cut off
    // once the notes file holds them must not have the journals replayed over it at the next start
    // (a day deleted and typed again would come back as it was). A marker of a save that never
    // reached the disk names bytes no file holds, and is never matched.
    std::vector<FsPath> journals, legacy;
    for (const FsPath& path : m_applied)
        (IsLegacyJournalName(NameOf(path)) ? legacy : journals).push_back(path);
    const std::size_t applied = journals.size();
    journals.insert(journals.end(), m_journal.Files().begin(), m_journal.Files().end());
    if (!m_place.tempNotes.empty()) {
        for (std::size_t i = 0; i < journals.size(); ++i) {
            const bool own = i >= applied;
            if (!MarkJournalSaved(m_fs, journals[i], generation, hash, own ? std::string_view() : stamp) &&
                !own)
                m_unkept.push_back(journals[i]);
        }
    }
    // The notes file is replaced only when it holds what this diary read or wrote there, or nothing
    // the save lacks; what another program put there is copied aside first.
    bool keepTemp = m_keepTempAside;
    if (!keepTemp && !m_place.tempNotes.empty()) {
        std::string current;
        const FileError error = LoadFile(m_fs, m_place.tempNotes, current);
        if (error == FileError::kNone) {
            const std::uint64_t currentHash = ContentHash(current);
            const bool vouched = (m_tempHash && *m_tempHash == currentHash) ||
                                 (m_manifest.generation > 0 && m_manifest.hash == currentHash &&
                                  m_manifest.size == current.size()) ||
                                 HeldBy(std::move(current), notes, m_toNarrow);
            if (!vouched) {
                keepTemp = !(!m_folder.empty() && m_fs.MakeFolders(m_folder) == FileError::kNone &&
                             KeepCopy(m_fs, m_folder, L"temp-nts.ini", stamp, m_place.tempNotes));
            }
        } else if (error != FileError::kNotFound) {
            keepTemp = true;
        }
    }
    const bool saved =
        !m_place.tempNotes.empty() &&
        SaveDataFile(m_fs, m_place.tempNotes, bytes, keepTemp, stamp).outcome == SaveOutcome::kSaved;
    StagedCopies staged;
    if (waitForStaged)
        staged = waitForStaged();
    auto dropStaged = [&] {
        for (const FsPath& path : {staged.copy, staged.dated}) {
            if (!path.empty())
                RemoveFile(m_fs, path);
        }
    };
    if (!saved) {
        // The notes file does not hold these bytes, so neither may a copy: the journal stays the
        // only record of this run's typing, and the next start applies it.
        dropStaged();
        return report;
    }
    report.saved = true;
    m_keepTempAside = false;
    m_tempHash = hash;
    SettleLeftovers(m_fs, LeftoversOfNotes(m_fs, m_place.tempNotes), notes, stamp, m_toNarrow);

    if (!m_folder.empty() && m_fs.MakeFolders(m_folder) == FileError::kNone) {
        // The manifest first says what each copy will hold while keeping what it holds now, so a
        // run cut off between the moves still finds every copy's generation by its bytes.
        const FsPath datedName = DatedCopyName(today);
        m_manifest.generation = generation;
        m_manifest.size = bytes.size();
        m_manifest.hash = hash;
        const ManifestCopy fresh{FsPath(), generation, bytes.size(), hash};
        // What the manifest read at start or written by the last save says the copies hold.
        const Manifest vouching = m_manifest;
        Manifest during = m_manifest;
        for (const FsPath& name : {FsPath(kNotesFileName), datedName}) {
            ManifestCopy copy = fresh;
            copy.name = name;
            during.copies.push_back(copy);
        }
        WriteSafetyFile(m_fs, m_folder + kManifestName, EncodeManifest(during));

        auto mayReplace = [&](const FsPath& name) {
            const FsPath path = m_folder + name;
            const bool held = std::find(m_keepAside.begin(), m_keepAside.end(), path) != m_keepAside.end();
            const bool lastSave = m_keepCopyAside && name == kNotesFileName;
            if (held || lastSave)
                return KeepCopy(m_fs, m_folder, name, stamp);
            return MayReplace(name, notes, stamp, vouching);
        };
        auto place = [&](const FsPath& name, const FsPath& ahead) {
            const FsPath path = m_folder + name;
            if (!mayReplace(name)) {
                if (!ahead.empty())
                    RemoveFile(m_fs, ahead);
                return false;
            }
            if (!ahead.empty()) {
                if (MoveOver(m_fs, ahead, path) == FileError::kNone)
                    return true;
                RemoveFile(m_fs, ahead);
            }
            return WriteSafetyFile(m_fs, path, bytes);
        };
        report.copied = place(kNotesFileName, staged.copy);
        report.datedCopied = place(datedName, staged.dated);
        for (const auto& [name, done] :
             {std::pair{FsPath(kNotesFileName), report.copied}, std::pair{datedName, report.datedCopied}}) {
            if (done) {
                ManifestCopy copy = fresh;
                copy.name = name;
                m_manifest.SetCopy(copy);
            }
        }
        m_keepCopyAside = false;
        m_keepAside.clear();
        // The dated copies kept are those of the latest saves by generation, today's among them
        // whatever the clock says of the others.
        std::vector<ManifestCopy> dated;
        for (const ManifestCopy& copy : m_manifest.copies) {
            if (copy.name == datedName || !ParseDatedCopyName(copy.name))
                continue;
            const auto same = std::find_if(dated.begin(), dated.end(),
                                           [&](const ManifestCopy& c) { return c.name == copy.name; });
            if (same == dated.end())
                dated.push_back(copy);
            else if (copy.generation > same->generation)
                *same = copy;
        }
        std::sort(dated.begin(), dated.end(),
                  [](const ManifestCopy& a, const ManifestCopy& b) { return a.generation > b.generation; });
        if (report.datedCopied) {
            for (std::size_t i = kDatedCopiesKept - 1; i < dated.size(); ++i) {
                if (!MayReplace(dated[i].name, notes, stamp, vouching))
                    continue;
                const FileError error = RemoveFile(m_fs, m_folder + dated[i].name);
                if (error == FileError::kNone || error == FileError::kNotFound) {
                    m_manifest.Forget(dated[i].name);
                    ++report.removed;
                }
            }
        }
        // A copy the manifest names that is gone is no longer anything to rank.
        std::vector<ManifestCopy> present;
        for (const ManifestCopy& copy : m_manifest.copies) {
            if (m_fs.Exists(m_folder + copy.name))
                present.push_back(copy);
        }
        m_manifest.copies = std::move(present);
        WriteManifest();
    }

    // A damaged journal whose bytes could not be copied aside stays, and is tried at the next save.
    // And while no safety copy holds the save (the folder read-only, full or gone), the notes file
    // is its only home: a cleaned temporary folder would take it, so the journals stay until a save
    // whose copy is written.
    std::vector<FsPath> removable, kept = m_unkept;
    for (const FsPath& path : journals) {
        if (std::find(m_unkept.begin(), m_unkept.end(), path) != m_unkept.end())
            continue;
        (report.copied ? removable : kept).push_back(path);
    }
    std::vector<FsPath> left = RemoveJournalFiles(m_fs, removable);
    left.insert(left.end(), kept.begin(), kept.end());
    m_unkept.clear();
    std::vector<FsPath> ownLeft;
    m_applied.clear();
    for (const FsPath& path : left) {
        const bool own = std::find(journals.begin() + static_cast<std::ptrdiff_t>(applied), journals.end(),
                                   path) != journals.end();
        (own ? ownLeft : m_applied).push_back(path);
    }
    std::vector<std::uint64_t> stillFollows;
    for (const FsPath& path : m_applied) {
        if (const auto id = m_appliedIds.find(path); id != m_appliedIds.end())
            stillFollows.push_back(id->second);
    }
    m_journal.Saved(std::move(ownLeft), std::move(stillFollows));
    for (const FsPath& path : legacy) {
        if (RemoveFile(m_fs, path) != FileError::kNone)
            m_applied.push_back(path);
    }
    if (!m_folder.empty()) {
        for (const FsPath& name : Names(m_fs, m_folder)) {
            if (!IsOwnStrayName(name) || std::find(m_journal.Files().begin(), m_journal.Files().end(),
                                                   m_folder + name) != m_journal.Files().end())
                continue;
            // A manifest's leftover holds no note; a copy's is a diary, and goes by the one rule.
            if (IsLeftoverName(name, kManifestName) || MayReplace(name, notes, stamp, Manifest()))
                RemoveFile(m_fs, m_folder + name);
        }
        report.removed += SettleKept(notes);
    }
    return report;
}

std::vector<KeptItem> KeptItemsOf(FileSystem& fs, const FsPath& folder, const NoteMap& notes,
                                  const WideToNarrow& toNarrow) {
    std::vector<KeptItem> items;
    if (folder.empty())
        return items;
    Manifest manifest;
    std::string bytes;
    if (fs.ReadAll(folder + kManifestName, bytes) == FileError::kNone) {
        if (std::optional<Manifest> read = DecodeManifest(bytes))
            manifest = std::move(*read);
    }
    for (const FsPath& name : Names(fs, folder)) {
        const FsPath path = folder + name;
        if (IsEditJournalName(name)) {
            std::string journalBytes;
            if (fs.ReadAll(path, journalBytes) != FileError::kNone) {
                items.push_back({path, -1});
                continue;
            }
            const JournalFile journal = DecodeJournal(journalBytes);
            items.push_back({path, journal.valid ? JournalEditsBeyond(journal, notes) : -1});
            continue;
        }
        const bool copyOfASave =
            (name == kNotesFileName || ParseDatedCopyName(name)) && manifest.CopyNamed(name);
        const bool kept = StartsWith(name, kKeptPrefix) || StartsWith(name, kLegacyPrefix) ||
                          name.find(L".unreadable-") != FsPath::npos ||
                          (IsNotesCopyName(name) && !copyOfASave);
        if (!kept || name == kManifestName || name == L"qlw.ini" || IsOwnStrayName(name))
            continue;
        if (StartsWith(name, kKeptPrefix) && name.size() > 4 && name.substr(name.size() - 4) == L".qjl") {
            // A journal kept for a part that could not be read: what that part held is unknown, so
            // it stays until the user looks.
            std::string journalBytes;
            const JournalFile journal = fs.ReadAll(path, journalBytes) == FileError::kNone
                                            ? DecodeJournal(journalBytes)
                                            : JournalFile();
            items.push_back(
                {path, journal.valid && !journal.damaged ? JournalEditsBeyond(journal, notes) : -1});
            continue;
        }
        items.push_back({path, NotesBeyond(fs, path, notes, toNarrow)});
    }
    return items;
}

// The diary keeper's start: finding the diary's folder, taking over what older versions left, the
// choice of the file the notes come from and the journals of ended runs applied over it.
#include <algorithm>
#include <cstdio>
#include <map>

#include "diary/note_join.h"
#include "diary/notes_file.h"
#include "safety/content_hash.h"
#include "safety/diary_keeper.h"
#include "safety/keeper_files.h"
#include "safety/safety_store.h"

using namespace keeper;

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

namespace {

// A journal that lost its header, followed by one that marks a save of the file read, was taken in
// by that save's run: it stays to be settled, but nothing of it applies again over the save. Gives
// the id each such journal had, by its path.
std::map<FsPath, std::uint64_t> SettleHeaderless(std::vector<JournalFile>& journals,
                                                 const std::vector<FsPath>& paths,
                                                 const std::map<std::size_t, std::uint64_t>& formerIds,
                                                 std::uint64_t loadedHash) {
    std::map<FsPath, std::uint64_t> formerIdOf;
    for (const auto& [index, formerId] : formerIds) {
        formerIdOf[paths[index]] = formerId;
        const bool held = std::any_of(journals.begin(), journals.end(), [&](const JournalFile& j) {
            return j.header.id != 0 &&
                   std::find(j.header.follows.begin(), j.header.follows.end(), formerId) !=
                       j.header.follows.end() &&
                   std::any_of(j.records.begin(), j.records.end(), [&](const JournalRecord& r) {
                       return r.kind == JournalRecordKind::kSaved && r.savedHash == loadedHash;
                   });
        });
        if (held)
            journals[index].records.clear();
    }
    return formerIdOf;
}

// Kept in the order they apply in: a save marks them settled in that order, so a run cut off
// part-way leaves only journals whose predecessors are marked too.
void PutInApplyOrder(std::vector<JournalFile>& journals, std::vector<FsPath>& paths) {
    std::vector<JournalFile> ordered;
    std::vector<FsPath> orderedPaths;
    for (const std::size_t i : JournalOrder(journals)) {
        ordered.push_back(std::move(journals[i]));
        orderedPaths.push_back(paths[i]);
    }
    journals = std::move(ordered);
    paths = std::move(orderedPaths);
}

} // namespace

std::optional<JournalFile> DiaryKeeper::ReadJournal(const FsPath& folder, const FsPath& name,
                                                    const RunIsAlive& isAlive,
                                                    std::optional<std::uint64_t>& formerId) {
    std::string bytes;
    if (m_fs.ReadAll(folder + name, bytes) != FileError::kNone)
        return std::nullopt;
    JournalFile journal = DecodeJournal(bytes);
    if (!journal.valid && !journal.records.empty()) {
        // Its header was lost, but it lies in this diary's own folder: the run that wrote
        // it is read from its name, and it is applied by content, after nothing.
        unsigned long long pid = 0, started = 0;
        int segment = -1;
        const std::string narrow(name.begin(), name.end());
        if (std::sscanf(narrow.c_str(), "journal-%llu-%llu-%d", &pid, &started, &segment) < 2)
            return std::nullopt;
        if (segment >= 0)
            formerId = JournalSegmentId(JournalRunId(static_cast<std::uint32_t>(pid), started), segment);
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
    const bool ours =
        journal.header.diaryTag == m_tag || (m_formerTag != 0 && journal.header.diaryTag == m_formerTag);
    if (!journal.valid || !ours || (isAlive && isAlive(RunStamp{journal.header.pid, journal.header.started})))
        return std::nullopt;
    return journal;
}

bool DiaryKeeper::TakeLegacyJournal(const FsPath& path, NoteMap& notes, StartReport& report) {
    // An older version journalled the whole diary: each day it holds differently from the
    // diary read is kept beside that day's text, unless the diary's text only went on
    // from it.
    NoteMap whole;
    if (!Loads(LoadNotesBytes(m_fs, path, whole, m_toNarrow, nullptr)))
        return false;
    for (const NoteView entry : whole) {
        if (IsBlankNote(entry.m_strText) || whole.FindNote(entry.m_strKey) != entry.m_strText)
            continue;
        const std::string_view held = notes.FindNote(entry.m_strKey);
        if (held == entry.m_strText || held.substr(0, entry.m_strText.size()) == entry.m_strText ||
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
    return true;
}

void DiaryKeeper::TakeJournals(NoteMap& notes, StartReport& report, const RunIsAlive& isAlive) {
    std::vector<JournalFile> journals;
    std::vector<FsPath> paths;
    // The id a journal that lost its header had, by its index: read back from its name.
    std::map<std::size_t, std::uint64_t> formerIds;
    for (const FsPath& folder : AllFolders()) {
        for (const FsPath& name : Names(m_fs, folder)) {
            if (IsEditJournalName(name)) {
                std::optional<std::uint64_t> formerId;
                std::optional<JournalFile> journal = ReadJournal(folder, name, isAlive, formerId);
                if (!journal)
                    continue;
                if (formerId)
                    formerIds[journals.size()] = *formerId;
                journals.push_back(std::move(*journal));
                paths.push_back(folder + name);
            } else if (IsLegacyJournalName(name) && TakeLegacyJournal(folder + name, notes, report)) {
                m_applied.push_back(folder + name);
                ++report.journals;
            }
        }
    }
    const std::map<FsPath, std::uint64_t> formerIdOf =
        SettleHeaderless(journals, paths, formerIds, m_loadedHash);
    PutInApplyOrder(journals, paths);
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
